#pragma once

#include <string>

namespace kestrel {

class RequestBase;

// The SDK version, "7.0.1".
std::string GetSdkVersion();

// "TovaneWindows/7.0.1 (Windows 10; suffix)"; the "; suffix" part only when the suffix is not empty.
std::string BuildSdkUserAgent(const std::string& suffix);

// The user's interface language as a lower-case locale name; "en-us" when it cannot be told.
std::string AcceptLanguage();

// Sets the four headers every request carries.
void ApplyStandardHeaders(RequestBase& request);

}  // namespace kestrel
