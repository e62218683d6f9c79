#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// Text crosses into the Windows API as UTF-16; invalid UTF-8 becomes U+FFFD.
std::wstring ToUtf16(std::string_view text);
std::string ToUtf8(std::wstring_view text);

}  // namespace kestrel
