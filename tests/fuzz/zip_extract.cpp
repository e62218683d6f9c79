// A downloaded zip archive unpacked into its bundle folder. Nothing may appear
// outside it: neither elsewhere under the SDK's data folder nor at an absolute
// path the archive names.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <zip.h>

#include "FuzzSupport.h"
#include "net/ZipExtractor.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "storage/FileSystemController.h"

namespace fs = std::filesystem;
using kestrel::fuzz::Require;

namespace {

constexpr const char* kBundle = "fuzz_bundle";

// Every path under root, symbolic links not followed.
std::set<fs::path> Listing(const fs::path& root) {
  std::set<fs::path> paths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    paths.insert(it->path());
  }
  Require(!ec, "cannot list the data folder");
  return paths;
}

// Absolute entry names that do not exist yet: extraction must not create them.
std::vector<fs::path> AbsoluteNamesNotPresent(const fs::path& archivePath) {
  std::vector<fs::path> names;
  int error = 0;
  zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
  if (!archive) return names;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
    std::error_code ec;
    if (name && name[0] == '/' && !fs::exists(fs::symlink_status(name, ec))) names.emplace_back(name);
  }
  zip_discard(archive);
  return names;
}

struct Setup {
  fs::path home;
  fs::path bundle;
  std::set<fs::path> before;  // the data folder's contents with an empty bundle folder
};

const Setup& Once() {
  static const Setup setup = [] {
    Setup s;
    s.home = kestrel::fuzz::ProcessTempDir() / "data";
    fs::create_directories(s.home);
    setenv("XDG_DATA_HOME", s.home.c_str(), 1);
    auto fileSystem = std::make_shared<kestrel::FileSystemController>("KestrelFuzz");
    kestrel::ControllerRegistry::SetFileSystemController(fileSystem);
    s.bundle = fs::path(fileSystem->GetCreativesFolder()) / kBundle;
    Require(s.bundle.string().rfind(s.home.string(), 0) == 0, "the creatives folder is outside the data folder");
    fs::create_directories(s.bundle);
    s.before = Listing(s.home);
    // Each entry gets a line on standard error; at fuzzing speed that is noise.
    if (!std::getenv("KESTREL_FUZZ_LOG")) std::cerr.rdbuf(nullptr);
    return s;
  }();
  return setup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::fuzz::SilenceLog();
  const Setup& setup = Once();
  kestrel::fuzz::WriteFile(setup.bundle / "bundle.zip", kestrel::fuzz::Text(data, size));
  const auto absoluteNames = AbsoluteNamesNotPresent(setup.bundle / "bundle.zip");

  try {
    kestrel::ExtractZip("bundle.zip", kBundle);
  } catch (const std::exception&) {
    // The bundle loader logs the failed part.
  }

  for (const auto& path : Listing(setup.home)) {
    if (setup.before.count(path)) continue;
    const auto relative = path.lexically_relative(setup.bundle);
    Require(!relative.empty() && *relative.begin() != "..", "the archive wrote outside its bundle folder");
  }
  for (const auto& path : absoluteNames) {
    std::error_code ec;
    Require(!fs::exists(fs::symlink_status(path, ec)), "the archive wrote to an absolute path");
  }
  for (const auto& path : setup.before) {
    std::error_code ec;
    Require(fs::symlink_status(path, ec).type() != fs::file_type::not_found, "the archive removed a folder");
  }

  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(setup.bundle, ec)) fs::remove_all(entry.path(), ec);
  return 0;
}
