#include "storage/FileSystemModel.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/Paths.h"
#include "platform/PlatformServices.h"
#include "storage/FileSystemController.h"

namespace kestrel {
namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                    });
}

}  // namespace

FileSystemModel::FileSystemModel(const std::string& sdkFolderName) : m_sdkFolderName(sdkFolderName) {
  const std::string executable = PlatformServices::ProcessInfo()->ExecutablePath();
  m_applicationFolder =
      JoinPath(PlatformServices::FileSystem()->LocalAppDataFolder(), ApplicationFolderName(executable));
  m_sdkFolder = JoinPath(m_applicationFolder, sdkFolderName);
  m_webView2Folder = JoinPath(m_sdkFolder, "WebView2");
  m_creativesFolder = JoinPath(m_sdkFolder, "Creatives");
}

std::string FileSystemModel::ApplicationFolderName(const std::string& executablePath) {
  std::string name = Utf8FromPath(PathFromUtf8(executablePath).filename());
  const std::string extension = ".exe";
  if (EndsWithIgnoringCase(name, extension)) name.resize(name.size() - extension.size());
  return FileSystemController::SanitizeFileName(name);
}

}  // namespace kestrel
