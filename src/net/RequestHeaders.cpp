#include "net/RequestHeaders.h"

#include <cctype>

#include "net/RequestBase.h"
#include "platform/Backend.h"

namespace kestrel {
namespace {

constexpr const char* kSdkVersion = "7.0.1";
constexpr const char* kProtocolVersion = "5.10.0";
constexpr const char* kPlatformTag = "Win32";

}  // namespace

std::string GetSdkVersion() {
  static const std::string version = kSdkVersion;
  return version;
}

std::string BuildSdkUserAgent(const std::string& suffix) {
  std::string agent = "TovaneWindows/" + GetSdkVersion() + " (" + "Windows 10";
  if (!suffix.empty()) agent += "; " + suffix;
  return agent + ")";
}

std::string AcceptLanguage() {
  std::string name = UiLanguageName();
  if (name.empty()) name = "en-US";
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

void ApplyStandardHeaders(RequestBase& request) {
  request.m_headers["User-Agent"] = BuildSdkUserAgent("native");
  request.m_headers["Tovane-Version"] = kProtocolVersion;
  request.m_headers["Accept-Language"] = AcceptLanguage();
  request.m_headers["X-Kestrel-Win-Platform"] = kPlatformTag;
}

}  // namespace kestrel
