#pragma once

#include <filesystem>
#include <string>

namespace kestrel::test {

// A fresh folder under the system's temporary folder, removed with its contents.
// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return m_path; }
  std::string String() const { return m_path.string(); }

 private:
  std::filesystem::path m_path;
};

// Points the SDK's data folder at a temporary folder while it lives: on Linux
// XDG_DATA_HOME, on Windows the user's Local AppData folder (for the whole
// Wine prefix, so Windows tests run one at a time).
class ScopedDataHome {
 public:
  ScopedDataHome();
  ~ScopedDataHome();
  ScopedDataHome(const ScopedDataHome&) = delete;
  ScopedDataHome& operator=(const ScopedDataHome&) = delete;
  const std::filesystem::path& Path() const { return m_dir.Path(); }

 private:
  TempDir m_dir;
  std::filesystem::path m_previous;  // the setting it replaced
  bool m_hadPrevious = false;
};

}  // namespace kestrel::test
