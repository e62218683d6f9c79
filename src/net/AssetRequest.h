#pragma once

#include <string>

#include "net/RequestBase.h"

namespace kestrel {

// A download saved into a bundle folder under the creatives folder.
class AssetRequest : public RequestBase {
 public:
  AssetRequest() = default;
  std::shared_ptr<RequestBase> Clone() const override;

  // The local name of the part at url: its last segment (after the last "/"
  // or "\\"), query included, made storable on Windows and readable as a path
  // by the browser: the characters a Windows file name cannot hold
  // (< > : " | ? * and control characters) and "#" become "_", trailing dots go.
  static std::string FileNameOf(const std::string& url);

  std::string m_fileName;
  std::string m_folderName;
};

}  // namespace kestrel
