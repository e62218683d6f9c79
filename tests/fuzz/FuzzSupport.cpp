#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace kestrel::fuzz {
namespace {

struct OwnedTempDir {
  std::filesystem::path path;
  OwnedTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-fuzz-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) Fail("mkdtemp failed");
    path = buffer.data();
  }
  ~OwnedTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  OwnedTempDir(const OwnedTempDir&) = delete;
  OwnedTempDir& operator=(const OwnedTempDir&) = delete;
};

}  // namespace

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
  static OwnedTempDir dir;
  return dir.path;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Fail("cannot write the input file");
}

}  // namespace kestrel::fuzz
