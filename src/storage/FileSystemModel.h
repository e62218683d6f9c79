#pragma once

#include <string>

namespace kestrel {

// Where the SDK keeps its files: an application folder named after the host
// executable under the user's local application data folder, the SDK folder
// in it, and the creatives and WebView2 folders in that. Fixed once built.
class FileSystemModel {
 public:
  FileSystemModel() = default;  // every path empty
  explicit FileSystemModel(const std::string& sdkFolderName);

  const std::string& SdkFolderName() const { return m_sdkFolderName; }
  const std::string& CreativesFolder() const { return m_creativesFolder; }
  const std::string& SdkFolder() const { return m_sdkFolder; }
  const std::string& ApplicationFolder() const { return m_applicationFolder; }
  const std::string& WebView2Folder() const { return m_webView2Folder; }

  // The application folder's name for the executable at this path: its file
  // name without an ".exe" extension, made safe as a file name.
  static std::string ApplicationFolderName(const std::string& executablePath);

 private:
  std::string m_sdkFolderName;
  std::string m_creativesFolder;
  std::string m_sdkFolder;
  std::string m_applicationFolder;
  std::string m_webView2Folder;
};

}  // namespace kestrel
