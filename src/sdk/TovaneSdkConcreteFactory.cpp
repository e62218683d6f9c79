#include "sdk/TovaneSdkConcreteFactory.h"

#include "ads/MediationController.h"
#include "ads/PlacementsController.h"
#include "config/DatabaseController.h"
#include "config/EndpointController.h"
#include "config/PersistentSettingsController.h"
#include "device/DeviceInfoController.h"
#include "device/PublisherAppInfoController.h"
#include "display/MraidBridgePropertiesController.h"
#include "display/MraidCommandReceiverController.h"
#include "privacy/CcpaController.h"
#include "privacy/CoppaController.h"
#include "privacy/GdprController.h"
#include "privacy/PrivacyController.h"
#include "sdk/InitializationController.h"
#include "server/RequestController.h"
#include "server/TpatController.h"
#include "storage/FileSystemController.h"

namespace kestrel {

std::unique_ptr<IInitializationController> TovaneSdkConcreteFactory::CreateInitializationController() {
  return std::make_unique<InitializationController>();
}
std::unique_ptr<IFileSystemController> TovaneSdkConcreteFactory::CreateFileSystemController(
    const std::string& folderName) {
  return std::make_unique<FileSystemController>(folderName);
}
std::unique_ptr<IDatabaseController> TovaneSdkConcreteFactory::CreateDatabaseController() {
  return std::make_unique<DatabaseController>();
}
std::unique_ptr<IDeviceInfoController> TovaneSdkConcreteFactory::CreateDeviceInfoController(WindowHandle window) {
  return std::make_unique<DeviceInfoController>(window);
}
std::unique_ptr<IPublisherAppInfoController> TovaneSdkConcreteFactory::CreatePublisherAppInfoController(
    const std::string& appId) {
  return std::make_unique<PublisherAppInfoController>(appId);
}
std::unique_ptr<IRequestController> TovaneSdkConcreteFactory::CreateRequestController() {
  return std::make_unique<RequestController>();
}
std::unique_ptr<IPersistentSettingsController> TovaneSdkConcreteFactory::CreatePersistentSettingsController(
    const std::string& folder) {
  return std::make_unique<PersistentSettingsController>(folder);
}
std::unique_ptr<IPrivacyController> TovaneSdkConcreteFactory::CreatePrivacyController() {
  return std::make_unique<PrivacyController>();
}
std::unique_ptr<IGdprController> TovaneSdkConcreteFactory::CreateGdprController() {
  return std::make_unique<GdprController>();
}
std::unique_ptr<ICoppaController> TovaneSdkConcreteFactory::CreateCoppaController() {
  return std::make_unique<CoppaController>();
}
std::unique_ptr<ICcpaController> TovaneSdkConcreteFactory::CreateCcpaController() {
  return std::make_unique<CcpaController>();
}
std::unique_ptr<IEndpointController> TovaneSdkConcreteFactory::CreateEndpointController() {
  return std::make_unique<EndpointController>();
}
std::unique_ptr<IPlacementsController> TovaneSdkConcreteFactory::CreatePlacementsController() {
  return std::make_unique<PlacementsController>();
}
std::unique_ptr<IMraidBridgePropertiesController> TovaneSdkConcreteFactory::CreateMraidBridgePropertiesController() {
  return std::make_unique<MraidBridgePropertiesController>();
}
std::unique_ptr<IMraidCommandReceiverController> TovaneSdkConcreteFactory::CreateMraidCommandReceiverController() {
  return std::make_unique<MraidCommandReceiverController>();
}
std::unique_ptr<ITpatController> TovaneSdkConcreteFactory::CreateTpatController() {
  return std::make_unique<TpatController>();
}
std::unique_ptr<IMediationController> TovaneSdkConcreteFactory::CreateMediationController() {
  return std::make_unique<MediationController>();
}

}  // namespace kestrel
