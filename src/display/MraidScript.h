#pragma once

#include <string_view>

namespace kestrel {

// The MRAID bridge script injected into every creative page, as UTF-8 text.
std::string_view MraidScript();

}  // namespace kestrel
