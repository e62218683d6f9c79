#pragma once

#include <string>

#include "base/IBaseController.h"

namespace kestrel {

// The SDK's folders on disk.
class IFileSystemController : public IBaseController {
 public:
  virtual std::string GetCreativesFolder() = 0;
  virtual std::string GetSdkFolder() = 0;
  virtual std::string GetWebView2Folder() = 0;
  virtual void CreateFolder(const std::string& path) = 0;
  virtual void DeleteFolder(const std::string& path) = 0;
};

}  // namespace kestrel
