#pragma once

#include <string>

namespace kestrel {

// The publisher application's id, package name and version.
class IPublisherAppInfo {
 public:
  virtual ~IPublisherAppInfo() = default;
  virtual std::string GetPackageName() const = 0;
  virtual std::string GetAppId() const = 0;
  virtual void SetAppId(const std::string& appId) = 0;
  virtual std::string GetAppVersion() const = 0;
  virtual void PrintAppInfo() const = 0;
};

}  // namespace kestrel
