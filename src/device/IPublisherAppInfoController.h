#pragma once

#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// The publisher application's id, package name and version.
class IPublisherAppInfoController : public IBaseController {
 public:
  virtual Json GetAppJson() = 0;
  virtual void PrintAppInfo() = 0;
  virtual void SetAppId(const std::string& appId) = 0;
  virtual std::string GetAppId() = 0;
  virtual std::string GetPackageName() = 0;
};

}  // namespace kestrel
