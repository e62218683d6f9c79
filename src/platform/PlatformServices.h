#pragma once

#include <memory>

#include "platform/IFileSystem.h"
#include "platform/IHttpClient.h"
#include "platform/IPackageInfo.h"
#include "platform/IProcessInfo.h"
#include "platform/ISystemInfo.h"
#include "platform/IUrlOpener.h"

namespace kestrel {

// The operating-system services the SDK uses, each behind a small interface.
// The platform's implementations are created on first use; tests may replace
// one where the real part cannot run.
class PlatformServices {
 public:
  static std::shared_ptr<IProcessInfo> ProcessInfo();
  static void SetProcessInfo(std::shared_ptr<IProcessInfo> service);  // null restores the platform's
  static std::shared_ptr<IUrlOpener> UrlOpener();
  static void SetUrlOpener(std::shared_ptr<IUrlOpener> service);
  static std::shared_ptr<IHttpClient> HttpClient();
  static void SetHttpClient(std::shared_ptr<IHttpClient> service);
  static std::shared_ptr<ISystemInfo> SystemInfo();
  static void SetSystemInfo(std::shared_ptr<ISystemInfo> service);
  static std::shared_ptr<IPackageInfo> PackageInfo();
  static std::shared_ptr<IFileSystem> FileSystem();
};

}  // namespace kestrel
