#pragma once

#include <string>

#include "sdk/IBaseController.h"

namespace kestrel {

// The ad server's URLs.
class IEndpointController : public IBaseController {
 public:
  virtual std::string GetConfigUrl() = 0;
  virtual void SetConfigUrl(const std::string& url) = 0;
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
