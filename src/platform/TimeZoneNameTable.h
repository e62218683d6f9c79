#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// The IANA name of a Windows time-zone key name (as the registry and
// GetDynamicTimeZoneInformation give it: "W. Europe Standard Time" is
// "Europe/Berlin"), or "Etc/Unknown" for an empty or unlisted key. The key
// is cut at its first zero unit and after 128 units, trimmed on the right
// and matched without regard to case.
std::string MapWindowsTimeZoneToIana(std::wstring_view keyName);

}  // namespace kestrel
