#pragma once

#include <mutex>
#include <string>

#include "config/IEndpointController.h"

namespace kestrel {

// The base URL of the ad network's configuration endpoint, used unless the publisher names another.
inline constexpr const char* kDefaultConfigEndpoint = "https://config.kestrel-ads.example/";

// Joins a base URL and a path with exactly one "/" between them; both are trimmed first.
std::string JoinUrl(const std::string& base, const std::string& path);

class EndpointController : public IEndpointController {
 public:
  EndpointController();
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

 private:
  std::string Get(const std::string& member);
  void Set(std::string& member, const std::string& url);

  std::mutex m_mutex;  // endpoints are written at initialisation and read by request threads
  std::string m_configUrl;
  std::string m_newEndpoint;
  std::string m_adsUrl;
  std::string m_logEndpoint;
  std::string m_riEndpoint;
  std::string m_sdkBiEndpoint;
};

}  // namespace kestrel
