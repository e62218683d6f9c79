#pragma once

#include <memory>
#include <string>

#include "ads/IMediationController.h"
#include "ads/IPlacementsController.h"
#include "base/IInitializationController.h"
#include "config/IDatabaseController.h"
#include "config/IEndpointController.h"
#include "config/IPersistentSettingsController.h"
#include "device/IDeviceInfoController.h"
#include "device/IPublisherAppInfoController.h"
#include "display/IMraidBridgePropertiesController.h"
#include "display/IMraidCommandReceiverController.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "privacy/IGdprController.h"
#include "privacy/IPrivacyController.h"
#include "server/IRequestController.h"
#include "server/ITpatController.h"
#include "storage/IFileSystemController.h"

namespace kestrel {

// Creates the controllers; the caller owns what it returns.
class ITovaneSdkAbstractFactory {
 public:
  virtual ~ITovaneSdkAbstractFactory() = default;
  virtual std::unique_ptr<IInitializationController> CreateInitializationController() = 0;
  virtual std::unique_ptr<IFileSystemController> CreateFileSystemController(const std::string& folderName) = 0;
  virtual std::unique_ptr<IDatabaseController> CreateDatabaseController() = 0;
  virtual std::unique_ptr<IDeviceInfoController> CreateDeviceInfoController(WindowHandle window) = 0;
  virtual std::unique_ptr<IPublisherAppInfoController> CreatePublisherAppInfoController(const std::string& appId) = 0;
  virtual std::unique_ptr<IRequestController> CreateRequestController() = 0;
  virtual std::unique_ptr<IPersistentSettingsController> CreatePersistentSettingsController(
      const std::string& folder) = 0;
  virtual std::unique_ptr<IPrivacyController> CreatePrivacyController() = 0;
  virtual std::unique_ptr<IGdprController> CreateGdprController() = 0;
  virtual std::unique_ptr<ICoppaController> CreateCoppaController() = 0;
  virtual std::unique_ptr<ICcpaController> CreateCcpaController() = 0;
  virtual std::unique_ptr<IEndpointController> CreateEndpointController() = 0;
  virtual std::unique_ptr<IPlacementsController> CreatePlacementsController() = 0;
  virtual std::unique_ptr<IMraidBridgePropertiesController> CreateMraidBridgePropertiesController() = 0;
  virtual std::unique_ptr<IMraidCommandReceiverController> CreateMraidCommandReceiverController() = 0;
  virtual std::unique_ptr<ITpatController> CreateTpatController() = 0;
  virtual std::unique_ptr<IMediationController> CreateMediationController() = 0;
};

}  // namespace kestrel
