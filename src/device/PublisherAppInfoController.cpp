#include "device/PublisherAppInfoController.h"

#include <nlohmann/json.hpp>

#include "base/Log.h"
#include "device/Utf8Text.h"

namespace kestrel {

PublisherAppInfoController::PublisherAppInfoController(const std::string& appId) : m_appInfo(appId) {}

std::future<bool> PublisherAppInfoController::Initialize() {
  return MakeReadyFuture(true);
}

Json PublisherAppInfoController::GetAppJson() {
  return {{"app",
           {{"id", ToValidUtf8(m_appInfo.GetAppId())},
            {"bundle", m_appInfo.GetPackageName()},
            {"ver", m_appInfo.GetAppVersion()}}}};
}

void PublisherAppInfoController::PrintAppInfo() {
  m_appInfo.PrintAppInfo();
}

void PublisherAppInfoController::SetAppId(const std::string& appId) {
  m_appInfo.SetAppId(appId);
}

std::string PublisherAppInfoController::GetAppId() {
  std::string appId = m_appInfo.GetAppId();
  if (appId.empty()) WriteLine(stderr, "Error: Tried to get publisher AppID but it's not initialized yet");
  return appId;
}

std::string PublisherAppInfoController::GetPackageName() {
  return m_appInfo.GetPackageName();
}

}  // namespace kestrel
