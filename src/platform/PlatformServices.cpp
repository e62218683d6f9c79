#include "platform/PlatformServices.h"

#include <mutex>

#include "platform/Backend.h"

namespace kestrel {
namespace {

std::mutex& Mutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

// Returns the service in slot, creating the platform's one when the slot is empty.
template <typename T, typename Create>
std::shared_ptr<T> GetOrCreate(std::shared_ptr<T>& slot, Create create) {
  std::lock_guard lock(Mutex());
  if (!slot) slot = create();
  return slot;
}

template <typename T>
void Replace(std::shared_ptr<T>& slot, std::shared_ptr<T> service) {
  std::lock_guard lock(Mutex());
  slot = std::move(service);
}

std::shared_ptr<IProcessInfo> g_processInfo;
std::shared_ptr<IUrlOpener> g_urlOpener;
std::shared_ptr<IHttpClient> g_httpClient;
std::shared_ptr<ISystemInfo> g_systemInfo;
std::shared_ptr<IPackageInfo> g_packageInfo;
std::shared_ptr<IFileSystem> g_fileSystem;

}  // namespace

std::shared_ptr<IProcessInfo> PlatformServices::ProcessInfo() {
  return GetOrCreate(g_processInfo, CreateProcessInfo);
}
void PlatformServices::SetProcessInfo(std::shared_ptr<IProcessInfo> service) {
  Replace(g_processInfo, std::move(service));
}

std::shared_ptr<IUrlOpener> PlatformServices::UrlOpener() {
  return GetOrCreate(g_urlOpener, CreateUrlOpener);
}
void PlatformServices::SetUrlOpener(std::shared_ptr<IUrlOpener> service) {
  Replace(g_urlOpener, std::move(service));
}

std::shared_ptr<IHttpClient> PlatformServices::HttpClient() {
  return GetOrCreate(g_httpClient, [] { return CreateHttpClient(); });
}
void PlatformServices::SetHttpClient(std::shared_ptr<IHttpClient> service) {
  Replace(g_httpClient, std::move(service));
}

std::shared_ptr<ISystemInfo> PlatformServices::SystemInfo() {
  return GetOrCreate(g_systemInfo, CreateSystemInfo);
}
void PlatformServices::SetSystemInfo(std::shared_ptr<ISystemInfo> service) {
  Replace(g_systemInfo, std::move(service));
}

std::shared_ptr<IPackageInfo> PlatformServices::PackageInfo() {
  return GetOrCreate(g_packageInfo, CreatePackageInfo);
}

std::shared_ptr<IFileSystem> PlatformServices::FileSystem() {
  return GetOrCreate(g_fileSystem, CreateFileSystem);
}

}  // namespace kestrel
