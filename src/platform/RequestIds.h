#pragma once

#include <string>

namespace kestrel {

// A new random (version 4) UUID as lower-case text with hyphens, no braces.
std::string NewRequestId();

}  // namespace kestrel
