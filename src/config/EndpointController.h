#pragma once

#include "config/IEndpointController.h"

namespace kestrel {

class EndpointController : public IEndpointController {
 public:
  std::future<bool> Initialize() override;
  std::string GetConfigUrl() override;
  void SetConfigUrl(const std::string& url) override;
  std::string GetNewEndpoint() override;
  void SetNewEndpoint(const std::string& url) override;
  std::string GetAdsUrl() override;
  void SetAdsUrl(const std::string& url) override;
  std::string GetLogEndpoint() override;
  void SetLogEndpoint(const std::string& url) override;
  std::string GetRiEndpoint() override;
  void SetRiEndpoint(const std::string& url) override;
  std::string GetSdkBiEndpoint() override;
  void SetSdkBiEndpoint(const std::string& url) override;
};

}  // namespace kestrel
