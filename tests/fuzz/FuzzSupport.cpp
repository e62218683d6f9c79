#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "support/TempDir.h"

namespace kestrel::fuzz {

void SilenceLog() {
  static const bool done = [] {
    if (std::getenv("KESTREL_FUZZ_LOG")) return false;
    return std::freopen("/dev/null", "w", stdout) != nullptr;
  }();
  (void)done;
}

void Fail(const char* what) {
  std::fprintf(stderr, "Invariant broken: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

const std::filesystem::path& ProcessTempDir() {
  static const test::TempDir dir;
  return dir.Path();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Fail("cannot write the input file");
}

}  // namespace kestrel::fuzz
