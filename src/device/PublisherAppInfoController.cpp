#include "device/PublisherAppInfoController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

PublisherAppInfoController::PublisherAppInfoController(const std::string& /*appId*/) {}

std::future<bool> PublisherAppInfoController::Initialize() { return MakeReadyFuture(true); }

Json PublisherAppInfoController::GetAppJson() { return {}; }

void PublisherAppInfoController::PrintAppInfo() {}

void PublisherAppInfoController::SetAppId(const std::string& /*appId*/) {}

std::string PublisherAppInfoController::GetAppId() { return {}; }

std::string PublisherAppInfoController::GetPackageName() { return {}; }

}  // namespace kestrel
