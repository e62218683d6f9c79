#pragma once

#include "device/IPublisherAppInfoController.h"
#include "device/PublisherAppInfo.h"

namespace kestrel {

class PublisherAppInfoController : public IPublisherAppInfoController {
 public:
  explicit PublisherAppInfoController(const std::string& appId);
  std::future<bool> Initialize() override;
  Json GetAppJson() override;
  void PrintAppInfo() override;
  void SetAppId(const std::string& appId) override;
  std::string GetAppId() override;
  std::string GetPackageName() override;

 private:
  PublisherAppInfo m_appInfo;
};

}  // namespace kestrel
