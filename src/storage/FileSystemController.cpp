#include "storage/FileSystemController.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "base/Log.h"
#include "platform/Paths.h"
#include "platform/PlatformServices.h"

namespace kestrel {
namespace fs = std::filesystem;
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(PathFromUtf8(path), ec);
}

constexpr std::string_view kLockSuffix = ".lock";
const std::string kSetUpLockName = ".setup.lock";

// pid-counter-random: unique among the controllers of this process, and unlike
// any name an earlier process with the same pid chose.
std::string InstanceName() {
  static std::atomic<unsigned> counter{0};
  auto bits = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    bits ^= std::random_device{}();
  } catch (const std::exception&) {  // no random source: the clock alone
  }
  char random[16];
  std::snprintf(random, sizeof random, "%08x", bits);
  return std::to_string(PlatformServices::ProcessInfo()->ProcessId()) + "-" + std::to_string(counter++) + "-" + random;
}

// Another start-up holds the set-up lock only while it lays out its own
// folder; one that has it longer is stuck, and this one goes on without it.
std::unique_ptr<IFileLock> TakeSetUpLock(const std::string& creatives) {
  const std::string path = JoinPath(creatives, kSetUpLockName);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::string error;
  for (;;) {
    if (auto lock = PlatformServices::FileSystem()->TryLockFile(path, error)) return lock;
    if (!error.empty() || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  LogWarn("Can't lock " + path + (error.empty() ? ": held too long" : ": " + error) +
          "; the creatives of ended runs are kept");
  return nullptr;
}

void RemoveEntry(const std::string& path) {
  std::error_code ec;
  if (fs::symlink_status(PathFromUtf8(path), ec).type() == fs::file_type::directory) {
    FileSystemController::ClearFolder(path);
  }
  fs::remove(PathFromUtf8(path), ec);
}

// Removes from creatives what no live controller holds; keeps own and own.lock.
void RemoveUnheld(const std::string& creatives, const std::string& own) {
  std::error_code ec;
  std::set<std::string> names;
  for (fs::directory_iterator it(PathFromUtf8(creatives), ec), end; !ec && it != end; it.increment(ec)) {
    names.insert(Utf8FromPath(it->path().filename()));
  }
  const auto isLockFile = [&](const std::string& name) {
    return names.count(name) == 1 && name.ends_with(kLockSuffix) &&
           fs::symlink_status(PathFromUtf8(JoinPath(creatives, name)), ec).type() == fs::file_type::regular;
  };
  for (const std::string& name : names) {
    if (name == kSetUpLockName || name == own || name == own + std::string(kLockSuffix)) continue;
    const std::string path = JoinPath(creatives, name);
    if (!isLockFile(name)) {
      if (!isLockFile(name + std::string(kLockSuffix))) RemoveEntry(path);  // else decided with its lock
      continue;
    }
    std::string error;
    auto lock = PlatformServices::FileSystem()->TryLockFile(path, error);
    if (!lock) {  // a live controller's, or unreadable: kept either way
      if (!error.empty()) LogWarn("Keeping " + path + ": " + error);
      continue;
    }
    RemoveEntry(path.substr(0, path.size() - kLockSuffix.size()));
    lock.reset();
    RemoveEntry(path);
  }
}

}  // namespace

FileSystemController::FileSystemController(const std::string& folderName) : m_sdkFolderName(folderName) {
  try {
    SetUpFolders();
  } catch (const std::exception& e) {
    LogException(e);
    m_ready = false;
  }
}

void FileSystemController::SetUpFolders() {
  m_model = std::make_shared<FileSystemModel>(m_sdkFolderName);
  CreateFolder(m_model->ApplicationFolder());
  CreateFolder(m_model->SdkFolder());
  CreateFolder(m_model->WebView2Folder());
  CreateFolder(m_model->CreativesFolder());
  for (const std::string& folder : {m_model->WebView2Folder(), m_model->CreativesFolder()}) {
    if (!IsFolder(folder)) {
      LogError("Failed to create directory: " + folder);
      return;
    }
  }
  SetUpInstanceFolder();
}

// The lock file first, then the folder: a folder with a lock file beside it
// is never removed while that is held.
void FileSystemController::SetUpInstanceFolder() {
  const std::string creatives = m_model->CreativesFolder();
  const auto setUpLock = TakeSetUpLock(creatives);
  const std::string name = InstanceName();
  const std::string folder = JoinPath(creatives, name);
  std::string error;
  m_instanceLock = PlatformServices::FileSystem()->TryLockFile(folder + std::string(kLockSuffix), error);
  if (!m_instanceLock) {
    LogWarn("Can't lock the creatives folder " + folder + ": " + (error.empty() ? "held elsewhere" : error) +
            "; another instance's start-up may remove it");
  }
  std::error_code ec;
  fs::create_directory(PathFromUtf8(folder), ec);
  if (!IsFolder(folder)) {
    LogError("Failed to create directory: " + folder);
    return;
  }
  if (setUpLock) RemoveUnheld(creatives, name);
  m_creativesFolder = folder;
  m_ready = true;
}

std::future<bool> FileSystemController::Initialize() {
  return MakeReadyFuture(m_ready);
}

std::string FileSystemController::GetCreativesFolder() {
  std::lock_guard lock(m_mutex);
  return m_creativesFolder.empty() ? m_model->CreativesFolder() : m_creativesFolder;
}

std::string FileSystemController::GetSdkFolder() {
  std::lock_guard lock(m_mutex);
  return m_model->SdkFolder();
}

std::string FileSystemController::GetWebView2Folder() {
  std::lock_guard lock(m_mutex);
  return m_model->WebView2Folder();
}

void FileSystemController::CreateFolder(const std::string& path) {
  try {
    std::lock_guard lock(m_mutex);
    const std::string& sdkFolder = m_model->SdkFolder();
    std::string target = path;
    if (!StartsWith(path, m_model->ApplicationFolder()) && !StartsWith(path, sdkFolder) && !sdkFolder.empty()) {
      target = StartsWith(path, std::string(1, kPathSeparator)) ? sdkFolder + path : JoinPath(sdkFolder, path);
    }
    std::error_code ec;
    fs::create_directory(PathFromUtf8(target), ec);
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void FileSystemController::DeleteFolder(const std::string& path) {
  try {
    std::lock_guard lock(m_mutex);
    ClearFolder(path);
    std::error_code ec;
    fs::remove(PathFromUtf8(path), ec);
  } catch (const std::exception& e) {
    LogException(e);
  }
}

std::string FileSystemController::CreateSubfolder(const std::string& base, const std::string& name) {
  const std::string path = JoinPath(base, name);
  std::error_code ec;
  fs::create_directory(PathFromUtf8(path), ec);
  if (ec || !IsFolder(path)) throw std::runtime_error("Failed to create directory: " + path);
  return path;
}

std::string FileSystemController::SanitizeFileName(const std::string& text) {
  std::string name = text;
  for (char& c : name) {
    if (std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = '_';
  }
  while (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

std::string FileSystemController::PartFileName(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  std::string name = SanitizeFileName(path.substr(path.find_last_of("/\\") + 1));  // all of it without a separator
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  return name.empty() ? "part" : name;
}

void FileSystemController::ClearFolder(const std::string& path) {
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(PathFromUtf8(path), ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(Utf8FromPath(it->path().filename()));
  }
  for (const std::string& name : names) {
    const std::string entry = JoinPath(path, name);
    if (fs::symlink_status(PathFromUtf8(entry), ec).type() == fs::file_type::directory) ClearFolder(entry);
    fs::remove(PathFromUtf8(entry), ec);
  }
}

}  // namespace kestrel
