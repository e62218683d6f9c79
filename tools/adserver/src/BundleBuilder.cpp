#include "BundleBuilder.h"

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kestrel::adserver {

namespace {

// 2024-01-01T00:00:00Z, so that the same files always give the same archive.
constexpr std::time_t kEntryTime = 1704067200;

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + file.string());
  }
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

std::string ZipError(zip_error_t* error) {
  std::string text = zip_error_strerror(error);
  zip_error_fini(error);
  return text;
}

std::string RandomBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::mt19937_64 random(0x4b657374);  // fixed seed: the same size gives the same archive
  for (std::size_t i = 0; i < size; i += 8) {
    const auto value = random();
    for (std::size_t k = 0; k < 8 && i + k < size; ++k) {
      bytes[i + k] = static_cast<char>(value >> (8 * k) & 0xFF);
    }
  }
  return bytes;
}

}  // namespace

BundleBuilder::BundleBuilder(const std::filesystem::path& creativeDir) : m_entries(ReadFolder(creativeDir)) {
  if (std::ranges::none_of(m_entries, [](const Entry& e) { return e.name == "index.html"; })) {
    throw std::runtime_error(creativeDir.string() + " has no index.html");
  }
  m_archive = Zip(m_entries);
  auto unsafe = m_entries;
  unsafe.push_back({"../evil.txt", "written outside the bundle folder\n", false});
  unsafe.push_back({"images/../../evil-nested.txt", "written outside the bundle folder\n", false});
  unsafe.push_back({kAbsoluteEntry, "written to an absolute path\n", false});
  m_unsafe = Zip(unsafe);
}

std::string BundleBuilder::CorruptArchive() const {
  auto damaged = m_archive.substr(0, m_archive.size() / 2);
  damaged.append(64, '\xEE');
  return damaged;
}

std::shared_ptr<const std::string> BundleBuilder::LargeArchive(std::size_t fillerBytes) {
  std::lock_guard lock(m_largeMutex);
  auto& slot = m_large[fillerBytes];
  if (!slot) {
    auto entries = m_entries;
    entries.push_back({"filler.bin", RandomBytes(fillerBytes), true});
    slot = std::make_shared<const std::string>(Zip(entries));
  }
  return slot;
}

std::vector<BundleBuilder::Entry> BundleBuilder::ReadFolder(const std::filesystem::path& dir) {
  if (!std::filesystem::is_directory(dir)) {
    throw std::runtime_error(dir.string() + " is not a folder");
  }
  std::vector<Entry> entries;
  for (auto it = std::filesystem::recursive_directory_iterator(dir); it != std::filesystem::recursive_directory_iterator();
       ++it) {
    const auto& path = it->path();
    if (path.filename().string().starts_with('.')) {
      if (it->is_directory()) {
        it.disable_recursion_pending();
      }
      continue;
    }
    const auto name = std::filesystem::relative(path, dir).generic_string();
    if (it->is_directory()) {
      entries.push_back({name + "/", {}, false});
    } else if (it->is_regular_file()) {
      entries.push_back({name, ReadFile(path), false});
    }
  }
  std::ranges::sort(entries, {}, &Entry::name);
  return entries;
}

std::string BundleBuilder::Zip(const std::vector<Entry>& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (buffer == nullptr) {
    throw std::runtime_error("zip: " + ZipError(&error));
  }
  zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (archive == nullptr) {
    zip_source_free(buffer);
    throw std::runtime_error("zip: " + ZipError(&error));
  }
  zip_error_fini(&error);
  zip_source_keep(buffer);  // the archive's bytes are read from it after zip_close

  const auto fail = [&](const std::string& what) {
    const std::string text = what + ": " + zip_strerror(archive);
    zip_discard(archive);
    zip_source_free(buffer);
    throw std::runtime_error("zip: " + text);
  };
  for (const auto& entry : entries) {
    zip_int64_t index = -1;
    if (entry.name.ends_with('/')) {
      index = zip_dir_add(archive, entry.name.substr(0, entry.name.size() - 1).c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      // The entry's data must stay alive until zip_close; it belongs to `entries`.
      zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
      if (source == nullptr) {
        fail(entry.name);
      }
      index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
      if (index < 0) {
        zip_source_free(source);
      }
    }
    if (index < 0) {
      fail(entry.name);
    }
    const auto method = entry.store ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    if (zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), method, 0) < 0 ||
        zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), kEntryTime, 0) < 0) {
      fail(entry.name);
    }
  }
  if (zip_close(archive) < 0) {
    fail("close");
  }

  std::string bytes;
  if (zip_source_open(buffer) < 0) {
    zip_source_free(buffer);
    throw std::runtime_error("zip: cannot read the archive back");
  }
  zip_source_seek(buffer, 0, SEEK_END);
  const auto size = zip_source_tell(buffer);
  zip_source_seek(buffer, 0, SEEK_SET);
  bytes.resize(static_cast<std::size_t>(std::max<zip_int64_t>(size, 0)));
  const auto read = zip_source_read(buffer, bytes.data(), bytes.size());
  zip_source_close(buffer);
  zip_source_free(buffer);
  if (read != size) {
    throw std::runtime_error("zip: short read of the archive");
  }
  return bytes;
}

}  // namespace kestrel::adserver
