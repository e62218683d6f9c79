// Writes the embedded MRAID script to stdout.
#include <iostream>

#include "display/MraidScript.h"

int main() {
  const std::string_view script = kestrel::MraidScript();
  std::cout.write(script.data(), static_cast<std::streamsize>(script.size()));
  std::cout.flush();
  return std::cout ? 0 : 1;
}
