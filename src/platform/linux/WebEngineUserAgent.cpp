#include "platform/linux/WebEngineUserAgent.h"

#include <sys/utsname.h>

#include <mutex>

namespace kestrel {
namespace {

std::mutex g_mutex;
std::string g_reported;  // guarded by g_mutex

// WebKitGTK's own form on X11; its version tokens are frozen by the engine.
std::string UsualForm() {
  utsname names{};
  const std::string machine = uname(&names) == 0 ? names.machine : "x86_64";
  return "Mozilla/5.0 (X11; Linux " + machine +
         ") AppleWebKit/605.1.15 (KHTML, like Gecko) Version/60.5 Safari/605.1.15";
}

}  // namespace

std::string WebEngineUserAgent() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_reported.empty()) return g_reported;
  }
  return UsualForm();
}

void RememberWebEngineUserAgent(const char* userAgent) {
  if (!userAgent || !*userAgent) return;
  std::lock_guard lock(g_mutex);
  g_reported = userAgent;
}

}  // namespace kestrel
