#pragma once

#include <string>
#include <string_view>

namespace kestrel {

// The text itself when it is valid UTF-8; otherwise its bytes read as
// Latin-1, so that JSON can always carry a platform's text.
std::string ToValidUtf8(std::string_view text);

}  // namespace kestrel
