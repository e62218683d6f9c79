#include "device/PublisherAppInfo.h"


#include "base/PrintLine.h"
#include "device/Utf8Text.h"
#include "platform/PlatformServices.h"

namespace kestrel {
namespace {

std::string PackageName() {
  std::string name = PlatformServices::PackageInfo()->PackageName();
  if (name.empty()) {
    const std::string path = PlatformServices::ProcessInfo()->ExecutablePath();
    const auto slash = path.find_last_of("\\/");
    name = slash == std::string::npos ? path : path.substr(slash + 1);
  }
  return ToValidUtf8(name);
}

std::string AppVersion() {
  const std::string version = PlatformServices::PackageInfo()->Version();
  return version.empty() ? "1.0.0.0" : ToValidUtf8(version);
}

}  // namespace

PublisherAppInfo::PublisherAppInfo(const std::string& appId)
    : m_packageName(PackageName()), m_appVersion(AppVersion()), m_appId(appId) {}

std::string PublisherAppInfo::GetPackageName() const {
  return m_packageName;
}

std::string PublisherAppInfo::GetAppId() const {
  std::lock_guard lock(m_mutex);
  return m_appId;
}

void PublisherAppInfo::SetAppId(const std::string& appId) {
  std::lock_guard lock(m_mutex);
  m_appId = appId;
}

std::string PublisherAppInfo::GetAppVersion() const {
  return m_appVersion;
}

void PublisherAppInfo::PrintAppInfo() const {
  PrintLine(stdout, "App Package Name: ", m_packageName);
  PrintLine(stdout, "App ID: ", GetAppId());
  PrintLine(stdout, "App Version: ", m_appVersion);
}

}  // namespace kestrel
