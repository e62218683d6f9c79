#pragma once

#include <memory>
#include <string>


namespace kestrel {

class ICcpaController;
class ICoppaController;
class IDatabaseController;
class IDeviceInfoController;
class IEndpointController;
class IFileSystemController;
class IGdprController;
class IInitializationController;
class IMediationController;
class IMraidBridgePropertiesController;
class IMraidCommandReceiverController;
class IPersistentSettingsController;
class IPlacementsController;
class IPrivacyController;
class IPublisherAppInfoController;
class IRequestController;
class ITpatController;

// Process-wide table through which the controllers reach one another. Every
// entry may be empty; readers treat an empty entry as a controller that is
// not available. Entries are written while the controllers are wired and read
// from any thread; each access takes the registry's lock only for the copy.
class ControllerRegistry {
 public:
  static std::shared_ptr<ICcpaController> GetCcpaController();
  static std::shared_ptr<ICoppaController> GetCoppaController();
  static std::shared_ptr<IDatabaseController> GetDatabaseController();
  static std::shared_ptr<IDeviceInfoController> GetDeviceInfoController();
  static std::shared_ptr<IEndpointController> GetEndpointController();
  static std::shared_ptr<IFileSystemController> GetFileSystemController();
  static std::shared_ptr<IGdprController> GetGdprController();
  static std::shared_ptr<IInitializationController> GetInitializationController();
  static std::shared_ptr<IMediationController> GetMediationController();
  static std::shared_ptr<IMraidBridgePropertiesController> GetMraidBridgePropertiesController();
  static std::shared_ptr<IMraidCommandReceiverController> GetMraidCommandReceiverController();
  static std::shared_ptr<IPersistentSettingsController> GetPersistentSettingsController();
  static std::shared_ptr<IPlacementsController> GetPlacementsController();
  static std::shared_ptr<IPrivacyController> GetPrivacyController();
  static std::shared_ptr<IPublisherAppInfoController> GetPublisherAppInfoController();
  static std::shared_ptr<IRequestController> GetRequestController();
  static std::shared_ptr<ITpatController> GetTpatController();

  static void SetCcpaController(std::shared_ptr<ICcpaController> controller);
  static void SetCoppaController(std::shared_ptr<ICoppaController> controller);
  static void SetDatabaseController(std::shared_ptr<IDatabaseController> controller);
  static void SetDeviceInfoController(std::shared_ptr<IDeviceInfoController> controller);
  static void SetEndpointController(std::shared_ptr<IEndpointController> controller);
  static void SetFileSystemController(std::shared_ptr<IFileSystemController> controller);
  static void SetGdprController(std::shared_ptr<IGdprController> controller);
  static void SetInitializationController(std::shared_ptr<IInitializationController> controller);
  static void SetMediationController(std::shared_ptr<IMediationController> controller);
  static void SetMraidBridgePropertiesController(std::shared_ptr<IMraidBridgePropertiesController> controller);
  static void SetMraidCommandReceiverController(std::shared_ptr<IMraidCommandReceiverController> controller);
  static void SetPersistentSettingsController(std::shared_ptr<IPersistentSettingsController> controller);
  static void SetPlacementsController(std::shared_ptr<IPlacementsController> controller);
  static void SetPrivacyController(std::shared_ptr<IPrivacyController> controller);
  static void SetPublisherAppInfoController(std::shared_ptr<IPublisherAppInfoController> controller);
  static void SetRequestController(std::shared_ptr<IRequestController> controller);
  static void SetTpatController(std::shared_ptr<ITpatController> controller);

  // The SDK folder name, the prefix of request names ("TovaneSDK" once wired).
  static std::string GetFolderName();
  static void SetFolderName(const std::string& name);

  // Empties every entry. Used by tests to start from a process without an SDK.
  static void Clear();
};

}  // namespace kestrel
