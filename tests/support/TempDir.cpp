#include "support/TempDir.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace kestrel::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  m_path = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

ScopedDataHome::ScopedDataHome() {
  if (const char* previous = std::getenv("XDG_DATA_HOME")) {
    m_previous = previous;
    m_hadPrevious = true;
  }
  setenv("XDG_DATA_HOME", m_dir.String().c_str(), 1);
}

ScopedDataHome::~ScopedDataHome() {
  if (m_hadPrevious) {
    setenv("XDG_DATA_HOME", m_previous.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace kestrel::test
