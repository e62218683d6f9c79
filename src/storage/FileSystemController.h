#pragma once

#include "storage/IFileSystemController.h"

namespace kestrel {

class FileSystemController : public IFileSystemController {
 public:
  explicit FileSystemController(const std::string& folderName);
  std::future<bool> Initialize() override;
  std::string GetCreativesFolder() override;
  std::string GetSdkFolder() override;
  std::string GetWebView2Folder() override;
  void CreateFolder(const std::string& path) override;
  void DeleteFolder(const std::string& path) override;
};

}  // namespace kestrel
