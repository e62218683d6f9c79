#pragma once

#include <cstdio>
#include <sstream>

#include "base/Log.h"

namespace kestrel {

// Streams the parts into one line and writes it through WriteLine.
template <typename... Parts>
void PrintLine(std::FILE* stream, const Parts&... parts) {
  std::ostringstream line;
  (line << ... << parts);
  WriteLine(stream, line.str());
}

}  // namespace kestrel
