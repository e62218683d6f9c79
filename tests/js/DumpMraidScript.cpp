// Writes the embedded MRAID script to stdout, or to the file named by the
// first argument.
#include <fstream>
#include <iostream>

#ifdef _WIN32
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#endif

#include "display/MraidScript.h"

int main(int argc, char** argv) {
  const std::string_view script = kestrel::MraidScript();
  if (argc > 1) {
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(script.data(), static_cast<std::streamsize>(script.size()));
    out.close();
    if (!out) {
      std::cerr << "cannot write " << argv[1] << '\n';
      return 1;
    }
    return 0;
  }
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::cout.write(script.data(), static_cast<std::streamsize>(script.size()));
  std::cout.flush();
  return std::cout ? 0 : 1;
}
