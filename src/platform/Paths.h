#pragma once

#include <string>

namespace kestrel {

// The separator between the parts of a path on this platform.
extern const char kPathSeparator;

// a, one separator, b.
inline std::string JoinPath(const std::string& a, const std::string& b) {
  return a + kPathSeparator + b;
}

}  // namespace kestrel
