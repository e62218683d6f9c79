#pragma once

#include <string>

#include "net/RequestBase.h"

namespace kestrel {

// A download saved into a bundle folder under the creatives folder.
class AssetRequest : public RequestBase {
 public:
  AssetRequest() = default;
  std::shared_ptr<RequestBase> Clone() const override;

  std::string m_fileName;
  std::string m_folderName;
};

}  // namespace kestrel
