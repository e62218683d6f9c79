#include "net/AssetRequest.h"

#include "storage/FileSystemController.h"

namespace kestrel {

std::string AssetRequest::FileNameOf(const std::string& url) {
  // The whole URL when it has no separator.
  std::string name = FileSystemController::SanitizeFileName(url.substr(url.find_last_of("/\\") + 1));
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '#') c = '_';
  }
  return name;
}

std::shared_ptr<RequestBase> AssetRequest::Clone() const {
  return std::shared_ptr<AssetRequest>(new AssetRequest(*this));
}

}  // namespace kestrel
