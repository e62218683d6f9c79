#include "support/TempDir.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel::test {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TempDir::TempDir() {
  const auto base = std::filesystem::temp_directory_path();
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = base / ("kestrel-test-" + std::to_string(random()));
    // Fails when the name is taken, so two tests never share a folder.
    if (std::filesystem::create_directory(candidate)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all);
      m_path = candidate;
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be created under " + base.string());
}

// Each entry is removed once, the deepest first. Under Wine, remove_all can go
// round for ever over a file that another handle still holds open for deletion;
// what cannot go stays behind.
TempDir::~TempDir() {
  std::error_code ec;
  std::vector<std::filesystem::path> entries;
  for (std::filesystem::recursive_directory_iterator it(m_path, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(it->path());
  }
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) std::filesystem::remove(*entry, ec);
  std::filesystem::remove(m_path, ec);
}

}  // namespace kestrel::test
