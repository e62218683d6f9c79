#include "storage/FileSystemController.h"

#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/Log.h"
#include "platform/Paths.h"

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
  ClearFolder(m_model->CreativesFolder());
  CreateFolder(m_model->CreativesFolder());
  for (const std::string& folder : {m_model->WebView2Folder(), m_model->CreativesFolder()}) {
    if (!IsFolder(folder)) {
      LogError("Failed to create directory: " + folder);
      return;
    }
  }
  m_ready = true;
}

std::future<bool> FileSystemController::Initialize() {
  return MakeReadyFuture(m_ready);
}

std::string FileSystemController::GetCreativesFolder() {
  std::lock_guard lock(m_mutex);
  return m_model->CreativesFolder();
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
