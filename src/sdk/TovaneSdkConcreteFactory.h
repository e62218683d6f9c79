#pragma once

#include "sdk/ITovaneSdkAbstractFactory.h"

namespace kestrel {

// Creates the SDK's real controllers.
class TovaneSdkConcreteFactory : public ITovaneSdkAbstractFactory {
 public:
  std::unique_ptr<IInitializationController> CreateInitializationController() override;
  std::unique_ptr<IFileSystemController> CreateFileSystemController(const std::string& folderName) override;
  std::unique_ptr<IDatabaseController> CreateDatabaseController() override;
  std::unique_ptr<IDeviceInfoController> CreateDeviceInfoController(WindowHandle window) override;
  std::unique_ptr<IPublisherAppInfoController> CreatePublisherAppInfoController(const std::string& appId) override;
  std::unique_ptr<IRequestController> CreateRequestController() override;
  std::unique_ptr<IPersistentSettingsController> CreatePersistentSettingsController(const std::string& folder) override;
  std::unique_ptr<IPrivacyController> CreatePrivacyController() override;
  std::unique_ptr<IGdprController> CreateGdprController() override;
  std::unique_ptr<ICoppaController> CreateCoppaController() override;
  std::unique_ptr<ICcpaController> CreateCcpaController() override;
  std::unique_ptr<IEndpointController> CreateEndpointController() override;
  std::unique_ptr<IPlacementsController> CreatePlacementsController() override;
  std::unique_ptr<IMraidBridgePropertiesController> CreateMraidBridgePropertiesController() override;
  std::unique_ptr<IMraidCommandReceiverController> CreateMraidCommandReceiverController() override;
  std::unique_ptr<ITpatController> CreateTpatController() override;
  std::unique_ptr<IMediationController> CreateMediationController() override;
};

}  // namespace kestrel
