#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/IFileSystem.h"
#include "storage/FileSystemModel.h"
#include "storage/IFileSystemController.h"

namespace kestrel {

// Lays out the SDK's folders when it is created and offers the folder
// operations the rest of the SDK needs. Each controller keeps its creatives in
// a folder of its own, Creatives/<pid>-<n>-<random>, locked for its life
// through the file Creatives/<pid>-<n>-<random>.lock beside it. Start-up, under the lock
// Creatives/.setup.lock, makes that pair and removes from Creatives whatever
// no live controller holds: pairs whose lock is free and anything else left
// there by earlier layouts.
class FileSystemController : public IFileSystemController {
 public:
  explicit FileSystemController(const std::string& folderName);

  // Satisfied with whether the folders were set up.
  std::future<bool> Initialize() override;
  // This controller's own creatives folder.
  std::string GetCreativesFolder() override;
  std::string GetSdkFolder() override;
  std::string GetWebView2Folder() override;
  // Creates one folder level; a path outside the application folder counts as
  // relative to the SDK folder. Failures are silent.
  void CreateFolder(const std::string& path) override;
  // Removes the folder and everything in it. Failures are silent.
  void DeleteFolder(const std::string& path) override;

  // Creates base/name (one level) unless that folder exists and returns its
  // path; throws std::runtime_error when it cannot be made.
  static std::string CreateSubfolder(const std::string& base, const std::string& name);
  // Replaces each of < > : " / \ | ? * with _ and drops trailing dots.
  static std::string SanitizeFileName(const std::string& text);
  // The local name of the ad part at url: the last segment (after the last
  // "/" or "\\") of what comes before any "?" or "#", trailing separators
  // dropped, made storable on Windows and readable as a path by the browser:
  // sanitized as above, and control characters become "_" too. "part" when
  // nothing is left.
  static std::string PartFileName(const std::string& url);
  // Removes everything inside the folder, keeping the folder. Symbolic links
  // are removed, never followed. Failures are skipped.
  static void ClearFolder(const std::string& path);

 private:
  void SetUpFolders();
  void SetUpInstanceFolder();

  std::string m_sdkFolderName;
  bool m_ready = false;  // written only by the constructor
  std::shared_ptr<FileSystemModel> m_model = std::make_shared<FileSystemModel>();
  std::string m_creativesFolder;             // written only by the constructor
  std::unique_ptr<IFileLock> m_instanceLock;  // null when the lock could not be taken
  std::mutex m_mutex;  // guards m_model and serialises the folder operations
};

}  // namespace kestrel
