#include "display/MraidScript.h"

#include <cstddef>

namespace kestrel {

namespace detail {
// Defined in the source generated from mraid.js at build time.
extern const unsigned char kMraidScriptData[];
extern const std::size_t kMraidScriptSize;
}  // namespace detail

std::string_view MraidScript() {
  return {reinterpret_cast<const char*>(detail::kMraidScriptData), detail::kMraidScriptSize};
}

}  // namespace kestrel
