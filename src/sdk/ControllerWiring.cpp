#include "sdk/ControllerWiring.h"

#include <exception>
#include <functional>
#include <vector>

#include "ads/IPlacementsController.h"
#include "base/ControllerRegistry.h"
#include "base/IInitializationController.h"
#include "base/Log.h"
#include "config/IDatabaseController.h"
#include "config/IEndpointController.h"
#include "config/IPersistentSettingsController.h"
#include "device/IDeviceInfoController.h"
#include "device/IPublisherAppInfoController.h"
#include "display/IMraidBridgePropertiesController.h"
#include "display/IMraidCommandReceiverController.h"
#include "net/RequestHeaders.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "privacy/IGdprController.h"
#include "privacy/IPrivacyController.h"
#include "server/IRequestController.h"
#include "server/RequestController.h"
#include "storage/IFileSystemController.h"

namespace kestrel {

void WireControllers(const std::string& appId, WindowHandle window, const std::string& folderName,
                     const std::shared_ptr<ITovaneSdkAbstractFactory>& factory) {
  using R = ControllerRegistry;
  R::SetFolderName(folderName);
  // Later controllers may read earlier ones while they are constructed: the
  // settings find their folder through the file system controller.
  R::SetFileSystemController(factory->CreateFileSystemController(folderName));
  R::SetPersistentSettingsController(factory->CreatePersistentSettingsController(std::string()));
  R::SetDatabaseController(factory->CreateDatabaseController());
  R::SetRequestController(RequestController::Share(factory->CreateRequestController()));
  R::SetInitializationController(factory->CreateInitializationController());
  R::SetDeviceInfoController(factory->CreateDeviceInfoController(window));
  R::SetPublisherAppInfoController(factory->CreatePublisherAppInfoController(appId));
  R::SetPrivacyController(factory->CreatePrivacyController());
  R::SetCoppaController(factory->CreateCoppaController());
  R::SetGdprController(factory->CreateGdprController());
  R::SetCcpaController(factory->CreateCcpaController());
  R::SetEndpointController(factory->CreateEndpointController());
  R::SetPlacementsController(factory->CreatePlacementsController());
  R::SetMraidBridgePropertiesController(factory->CreateMraidBridgePropertiesController());
  R::SetMraidCommandReceiverController(factory->CreateMraidCommandReceiverController());
  R::SetTpatController(factory->CreateTpatController());
  R::SetMediationController(factory->CreateMediationController());
  LogInfo("Kestrel SDK Version " + GetSdkVersion());
}

namespace {

struct InitStep {
  std::function<std::future<bool>()> initialize;  // empty when the entry is empty
  const char* nullMessage;
};

template <typename T>
InitStep StepFor(std::shared_ptr<T> controller, const char* nullMessage) {
  if (!controller) return {nullptr, nullMessage};
  return {[controller] { return controller->Initialize(); }, nullMessage};
}

}  // namespace

void InitializeControllers() {
  using R = ControllerRegistry;
  try {
    const std::vector<InitStep> steps = {
        StepFor(R::GetPersistentSettingsController(), "PersistentSettingsController is null!"),
        StepFor(R::GetFileSystemController(), "FileSystemController is null!"),
        StepFor(R::GetDatabaseController(), "DatabaseController is null!"),
        StepFor(R::GetRequestController(), "RequestController is null!"),
        StepFor(R::GetInitializationController(), "InitializationController is null!"),
        StepFor(R::GetDeviceInfoController(), "DeviceInfoController is null!"),
        StepFor(R::GetPublisherAppInfoController(), "PublisherAppInfoController is null!"),
        StepFor(R::GetPrivacyController(), "PrivacyController is null!"),
        StepFor(R::GetCoppaController(), "CoppaController is null!"),
        StepFor(R::GetGdprController(), "GdprController is null!"),
        StepFor(R::GetCcpaController(), "CcpaController is null!"),
        StepFor(R::GetEndpointController(), "EndpointController is null!"),
        StepFor(R::GetPlacementsController(), "PlacementsController is null!"),
        StepFor(R::GetMraidBridgePropertiesController(), "MraidBridgePropertiesController is null!"),
        StepFor(R::GetMraidCommandReceiverController(), "MraidCommandReceiverController is null!"),
    };
    for (const auto& step : steps) {
      if (!step.initialize) {
        LogError(step.nullMessage);
        continue;
      }
      step.initialize();  // every controller is ready when its Initialize returns
    }
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception while initializing controllers");
  }
}

}  // namespace kestrel
