#include "net/ZipExtractor.h"

#include <zip.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "platform/Paths.h"
#include "storage/FileSystemController.h"
#include "storage/IFileSystemController.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// The file type bits of a Unix mode, as zip archives store it in the high half of the external attributes.
constexpr zip_uint32_t kUnixTypeMask = 0170000;
constexpr zip_uint32_t kUnixSymlink = 0120000;

// Inside the destination: not absolute, no drive, no ".." segment.
bool StaysInside(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  if (name.size() > 1 && name[1] == ':') return false;
  for (std::size_t start = 0;;) {
    const auto end = name.find_first_of("/\\", start);
    if (name.substr(start, end - start) == "..") return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool IsSymlink(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return false;
  return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & kUnixTypeMask) == kUnixSymlink;
}

// Writes one entry to path; a failed write leaves no file.
bool WriteEntry(zip_t* archive, zip_uint64_t index, const fs::path& path) {
  zip_file_t* entry = zip_fopen_index(archive, index, 0);
  if (!entry) return false;
  bool ok = false;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::array<char, 64 * 1024> buffer;
    ok = out.is_open();
    while (ok) {
      const zip_int64_t n = zip_fread(entry, buffer.data(), buffer.size());
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      ok = static_cast<bool>(out.write(buffer.data(), static_cast<std::streamsize>(n)));
    }
    out.close();
    ok = ok && !out.fail();
  }
  zip_fclose(entry);
  if (!ok) {
    std::error_code ec;
    if (!fs::is_directory(path, ec)) fs::remove(path, ec);
  }
  return ok;
}

// False for an entry that may not be written (outside the folder, a link);
// throws when a safe entry cannot be written, so no bundle lacks a file.
bool ExtractEntry(zip_t* archive, zip_uint64_t index, const std::string& name, const fs::path& destination) {
  if (!StaysInside(name) || IsSymlink(archive, index)) return false;
  const fs::path path = destination / PathFromUtf8(name);
  std::error_code ec;
  if (name.back() == '/') {  // a folder entry
    fs::create_directories(path, ec);
    if (!fs::is_directory(path, ec)) throw std::runtime_error("Failed to extract file: " + name);
    return true;
  }
  fs::create_directories(path.parent_path(), ec);
  if (!WriteEntry(archive, index, path)) throw std::runtime_error("Failed to extract file: " + name);
  return true;
}

}  // namespace

void ExtractZip(const std::string& zipFileName, const std::string& folderName) {
  auto fileSystem = ControllerRegistry::GetFileSystemController();
  if (!fileSystem)
    throw std::runtime_error("Can't extract " + zipFileName + " because we don't have a FileSystemController!");
  const std::string creatives = fileSystem->GetCreativesFolder();
  const std::string folder = FileSystemController::CreateSubfolder(creatives, folderName);
  const std::string zipPath = JoinPath(folder, zipFileName);
  const fs::path destination = PathFromUtf8(JoinPath(creatives, folderName));
  fs::create_directories(destination);

  int error = 0;
  zip_t* archive = zip_open(zipPath.c_str(), ZIP_RDONLY, &error);
  if (!archive) {
    WriteLine(stderr, "Failed to open zip file: " + zipPath);
    return;
  }
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME)) {
      WriteLine(stderr, "Failed to get file stat for file #" + std::to_string(i));
      continue;
    }
    const std::string name = stat.name;
    bool extracted = false;
    try {
      extracted = ExtractEntry(archive, index, name, destination);
    } catch (...) {
      zip_discard(archive);
      throw;
    }
    if (extracted) {
      WriteLine(stdout, "Extracted: " + name);
    } else {
      WriteLine(stderr, "Failed to extract file: " + name);
    }
  }
  zip_discard(archive);
}

}  // namespace kestrel
