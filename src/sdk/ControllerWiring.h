#pragma once

#include <memory>
#include <string>

#include "sdk/ITovaneSdkAbstractFactory.h"

namespace kestrel {

inline constexpr const char* kSdkFolderName = "TovaneSDK";

// Creates every controller through the factory, in dependency order, into the
// registry, and logs the version line.
void WireControllers(const std::string& appId, WindowHandle window, const std::string& folderName,
                     const std::shared_ptr<ITovaneSdkAbstractFactory>& factory);

// Runs the controllers' Initialize in order, waiting for each. Stops at the
// first that throws; never throws itself.
void InitializeControllers();

}  // namespace kestrel
