#pragma once

#include <filesystem>
#include <string>

namespace kestrel::test {

// A fresh folder under the system's temporary folder, removed with its contents.
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

// Points the SDK's data folder (XDG_DATA_HOME) at a temporary folder while it lives.
class ScopedDataHome {
 public:
  ScopedDataHome();
  ~ScopedDataHome();
  ScopedDataHome(const ScopedDataHome&) = delete;
  ScopedDataHome& operator=(const ScopedDataHome&) = delete;
  const std::filesystem::path& Path() const { return m_dir.Path(); }

 private:
  TempDir m_dir;
  std::string m_previous;
  bool m_hadPrevious = false;
};

}  // namespace kestrel::test
