#include "storage/FileSystemController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

FileSystemController::FileSystemController(const std::string& /*folderName*/) {}

std::future<bool> FileSystemController::Initialize() { return MakeReadyFuture(true); }

std::string FileSystemController::GetCreativesFolder() { return {}; }

std::string FileSystemController::GetSdkFolder() { return {}; }

std::string FileSystemController::GetWebView2Folder() { return {}; }

void FileSystemController::CreateFolder(const std::string& /*path*/) {}

void FileSystemController::DeleteFolder(const std::string& /*path*/) {}

}  // namespace kestrel
