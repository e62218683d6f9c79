#include "net/AssetRequest.h"

#include <string_view>

namespace kestrel {

std::string AssetRequest::FileNameOf(const std::string& url) {
  std::string name = url.substr(url.find_last_of("/\\") + 1);  // the whole URL when it has no separator
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*#").find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  return name;
}

std::shared_ptr<RequestBase> AssetRequest::Clone() const {
  return std::shared_ptr<AssetRequest>(new AssetRequest(*this));
}

}  // namespace kestrel
