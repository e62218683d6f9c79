#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrel::adserver {

// Zips the sample creative, keeping its sub-folders, and the damaged variants
// that the bundle faults serve. Archives are built in memory.
class BundleBuilder {
 public:
  struct Entry {
    std::string name;  // "index.html", "images/", "images/logo.png"; a trailing "/" marks a folder
    std::string data;
    bool store = false;  // stored without compression
  };

  // Reads the creative folder and builds the archives; throws std::runtime_error.
  explicit BundleBuilder(const std::filesystem::path& creativeDir);

  const std::vector<Entry>& Entries() const { return m_entries; }
  const std::string& Archive() const { return m_archive; }
  // The creative plus "../evil.txt", "images/../../evil-nested.txt" and an absolute "/tmp/..." entry.
  const std::string& UnsafeArchive() const { return m_unsafe; }
  // The first half of the archive followed by junk: no central directory.
  std::string CorruptArchive() const;
  // The creative plus "filler.bin", fillerBytes of random data stored uncompressed; built once per size.
  std::shared_ptr<const std::string> LargeArchive(std::size_t fillerBytes);

  static constexpr const char* kAbsoluteEntry = "/tmp/kestrel-adserver-evil.txt";

  // Files and folders under dir, sorted, skipping names that start with ".".
  static std::vector<Entry> ReadFolder(const std::filesystem::path& dir);
  static std::string Zip(const std::vector<Entry>& entries);

 private:
  std::vector<Entry> m_entries;
  std::string m_archive;
  std::string m_unsafe;
  std::mutex m_largeMutex;
  std::map<std::size_t, std::shared_ptr<const std::string>> m_large;
};

}  // namespace kestrel::adserver
