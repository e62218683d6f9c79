#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "kestrel/KestrelAds.h"
#include "platform/IHttpClient.h"
#include "platform/IOverlayWindow.h"
#include "platform/IWebViewHost.h"

// What a platform backend provides: the pages' message channel and every
// function below, defined once in each backend folder (CMake compiles one).
// The interfaces the factories return are in the I*.h headers. The core
// reaches the services that tests replace through PlatformServices.
namespace kestrel {

class IFileSystem;
class IPackageInfo;
class IProcessInfo;
class ISystemInfo;
class IUrlOpener;
class IWindowSizeSource;

// The object pages post their messages through, as a path from `window`:
// WebView2 provides it, the WebKit host builds it; mraid.js gets it at build time.
inline constexpr std::string_view kWebMessageChannel = "chrome.webview";

// The file-system service.
std::unique_ptr<IFileSystem> CreateFileSystem();
// An HTTP client whose exchanges give up after the limits.
std::unique_ptr<IHttpClient> CreateHttpClient(const HttpLimits& limits = {});
// The identity of the package the host application was installed from.
std::unique_ptr<IPackageInfo> CreatePackageInfo();
// Facts about the host process.
std::unique_ptr<IProcessInfo> CreateProcessInfo();
// Facts about the machine and the user's settings.
std::unique_ptr<ISystemInfo> CreateSystemInfo();
// Opens urls in the desktop's default handler.
std::unique_ptr<IUrlOpener> CreateUrlOpener();

// Whether the handle names a window that exists.
bool IsLiveWindow(WindowHandle window);
// Whether the calling thread owns the window (runs its message loop).
bool IsWindowThread(WindowHandle window);
// Runs work on the windows' thread: at once when called there, else queued to its message loop.
void RunOnWindowThread(std::function<void()> work);
// When the calling thread owns the window, RunOnWindowThread runs work on it from now on.
void UseWindowThread(WindowHandle window);
// The overlay over owner, or null when it cannot be created; events arrive on the window's thread.
std::unique_ptr<IOverlayWindow> CreateOverlayWindow(WindowHandle owner, IOverlayWindow::Events events);
// Tracks the window's client size from then on; the window may be destroyed at any time.
std::unique_ptr<IWindowSizeSource> CreateWindowSizeSource(WindowHandle window);
// Starts the web engine on the window's thread, showing no ad, so that plays find it running. Any thread.
void WarmUpWebEngine(WindowHandle window, const std::string& userDataFolder);
// Ends the web engine's processes and drops the views and windows kept for
// plays; the next warm-up or play starts it again. Only while no ad shows.
// Any thread: the work runs on the window thread.
void ReleaseWebEngine();
// The browser in the window, or null with failure saying why; it may also fail later, through `failed`.
std::unique_ptr<IWebViewHost> CreateWebViewHost(IOverlayWindow& window, const std::string& userDataFolder,
                                                IWebViewHost::Events events, std::string& failure);

// Keeps the SDK's library loaded for the life of the process, whatever the
// host unloads: its threads and windows outlive every call.
void StayLoaded();

// The broken-down local time of a moment; safe on any thread.
std::tm ToLocalTime(std::time_t time);
// A new random (version 4) UUID as lower-case text with hyphens, no braces.
std::string NewRequestId();
// The language of the user's interface as a locale name such as "de-DE"; empty when it cannot be told.
std::string UiLanguageName();

}  // namespace kestrel
