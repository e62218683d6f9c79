#include "base/ControllerRegistry.h"

#include <mutex>
#include <shared_mutex>
#include <utility>

namespace kestrel {
namespace {

struct Entries {
  std::shared_mutex mutex;
  std::shared_ptr<ICcpaController> ccpa;
  std::shared_ptr<ICoppaController> coppa;
  std::shared_ptr<IDatabaseController> database;
  std::shared_ptr<IDeviceInfoController> deviceInfo;
  std::shared_ptr<IEndpointController> endpoint;
  std::shared_ptr<IFileSystemController> fileSystem;
  std::shared_ptr<IGdprController> gdpr;
  std::shared_ptr<IInitializationController> initialization;
  std::shared_ptr<IMediationController> mediation;
  std::shared_ptr<IMraidBridgePropertiesController> mraidBridgeProperties;
  std::shared_ptr<IMraidCommandReceiverController> mraidCommandReceiver;
  std::shared_ptr<IPersistentSettingsController> persistentSettings;
  std::shared_ptr<IPlacementsController> placements;
  std::shared_ptr<IPrivacyController> privacy;
  std::shared_ptr<IPublisherAppInfoController> publisherAppInfo;
  std::shared_ptr<IRequestController> request;
  std::shared_ptr<ITpatController> tpat;
  std::string folderName;
};

// Never destroyed: SDK threads may still read the registry while the process exits.
Entries& Registry() {
  static auto* entries = new Entries();
  return *entries;
}

template <typename T>
std::shared_ptr<T> Read(std::shared_ptr<T> Entries::*member) {
  auto& entries = Registry();
  std::shared_lock lock(entries.mutex);
  return entries.*member;
}

template <typename T>
void Write(std::shared_ptr<T> Entries::*member, std::shared_ptr<T> controller) {
  auto& entries = Registry();
  std::shared_ptr<T> previous;
  {
    std::unique_lock lock(entries.mutex);
    previous = std::exchange(entries.*member, std::move(controller));
  }
  // The replaced controller is released outside the lock: its destructor may read the registry.
}

}  // namespace

#define KESTREL_REGISTRY_ENTRY(Name, member)                                \
  std::shared_ptr<I##Name> ControllerRegistry::Get##Name() {                \
    return Read(&Entries::member);                                          \
  }                                                                         \
  void ControllerRegistry::Set##Name(std::shared_ptr<I##Name> controller) { \
    Write(&Entries::member, std::move(controller));                         \
  }

KESTREL_REGISTRY_ENTRY(CcpaController, ccpa)
KESTREL_REGISTRY_ENTRY(CoppaController, coppa)
KESTREL_REGISTRY_ENTRY(DatabaseController, database)
KESTREL_REGISTRY_ENTRY(DeviceInfoController, deviceInfo)
KESTREL_REGISTRY_ENTRY(EndpointController, endpoint)
KESTREL_REGISTRY_ENTRY(FileSystemController, fileSystem)
KESTREL_REGISTRY_ENTRY(GdprController, gdpr)
KESTREL_REGISTRY_ENTRY(InitializationController, initialization)
KESTREL_REGISTRY_ENTRY(MediationController, mediation)
KESTREL_REGISTRY_ENTRY(MraidBridgePropertiesController, mraidBridgeProperties)
KESTREL_REGISTRY_ENTRY(MraidCommandReceiverController, mraidCommandReceiver)
KESTREL_REGISTRY_ENTRY(PersistentSettingsController, persistentSettings)
KESTREL_REGISTRY_ENTRY(PlacementsController, placements)
KESTREL_REGISTRY_ENTRY(PrivacyController, privacy)
KESTREL_REGISTRY_ENTRY(PublisherAppInfoController, publisherAppInfo)
KESTREL_REGISTRY_ENTRY(RequestController, request)
KESTREL_REGISTRY_ENTRY(TpatController, tpat)

#undef KESTREL_REGISTRY_ENTRY

std::string ControllerRegistry::GetFolderName() {
  auto& entries = Registry();
  std::shared_lock lock(entries.mutex);
  return entries.folderName;
}

void ControllerRegistry::SetFolderName(const std::string& name) {
  auto& entries = Registry();
  std::unique_lock lock(entries.mutex);
  entries.folderName = name;
}

void ControllerRegistry::Clear() {
  // Release in the reverse order of declaration, from TPAT back to CCPA.
  SetTpatController(nullptr);
  SetRequestController(nullptr);
  SetPublisherAppInfoController(nullptr);
  SetPrivacyController(nullptr);
  SetPlacementsController(nullptr);
  SetPersistentSettingsController(nullptr);
  SetMraidCommandReceiverController(nullptr);
  SetMraidBridgePropertiesController(nullptr);
  SetMediationController(nullptr);
  SetInitializationController(nullptr);
  SetGdprController(nullptr);
  SetFileSystemController(nullptr);
  SetEndpointController(nullptr);
  SetDeviceInfoController(nullptr);
  SetDatabaseController(nullptr);
  SetCoppaController(nullptr);
  SetCcpaController(nullptr);
  SetFolderName({});
}

}  // namespace kestrel
