#pragma once

#include <string>

#include "base/IBaseController.h"

namespace kestrel {

// The ad server's URLs.
class IEndpointController : public IBaseController {
 public:
  virtual std::string GetConfigUrl() = 0;
  virtual void SetConfigUrl(const std::string& url) = 0;
  // The new, log, ri and sdk_bi endpoints are stored for the interface; the SDK sends nothing to them.
  virtual std::string GetNewEndpoint() = 0;
  virtual void SetNewEndpoint(const std::string& url) = 0;
  virtual std::string GetAdsUrl() = 0;
  virtual void SetAdsUrl(const std::string& url) = 0;
  virtual std::string GetLogEndpoint() = 0;
  virtual void SetLogEndpoint(const std::string& url) = 0;
  virtual std::string GetRiEndpoint() = 0;
  virtual void SetRiEndpoint(const std::string& url) = 0;
  virtual std::string GetSdkBiEndpoint() = 0;
  virtual void SetSdkBiEndpoint(const std::string& url) = 0;
};

}  // namespace kestrel
