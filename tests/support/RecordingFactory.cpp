#include "support/RecordingFactory.h"

#include "ads/MediationController.h"
#include "ads/PlacementsController.h"
#include "config/DatabaseController.h"
#include "config/EndpointController.h"
#include "config/PersistentSettingsController.h"
#include "device/DeviceInfoController.h"
#include "device/PublisherAppInfoController.h"
#include "display/MraidBridgePropertiesController.h"
#include "display/MraidCommandReceiverController.h"
#include "server/RequestController.h"
#include "server/TpatController.h"
#include "privacy/CcpaController.h"
#include "privacy/CoppaController.h"
#include "privacy/GdprController.h"
#include "privacy/PrivacyController.h"
#include "storage/FileSystemController.h"

namespace kestrel::test {

std::future<bool> ImmediateInitialization::InitializeWithCallbacks(std::string, std::string,
                                                                   InitializationSuccessHandler onSuccess,
                                                                   InitializationFailureHandler) {
  m_journal->Add(&Journal::calls, "InitializeWithCallbacks");
  if (onSuccess) onSuccess(InitializationSuccessEventArgs{});
  return MakeReadyFuture(true);
}

std::unique_ptr<IInitializationController> RecordingFactory::CreateInitializationController() {
  return std::make_unique<ImmediateInitialization>(m_journal, "Initialization");
}
std::unique_ptr<IFileSystemController> RecordingFactory::CreateFileSystemController(const std::string& folderName) {
  return std::make_unique<Recording<FileSystemController>>(m_journal, "FileSystem", folderName);
}
std::unique_ptr<IDatabaseController> RecordingFactory::CreateDatabaseController() {
  return std::make_unique<Recording<DatabaseController>>(m_journal, "Database");
}
std::unique_ptr<IDeviceInfoController> RecordingFactory::CreateDeviceInfoController(WindowHandle window) {
  return std::make_unique<Recording<DeviceInfoController>>(m_journal, "DeviceInfo", window);
}
std::unique_ptr<IPublisherAppInfoController> RecordingFactory::CreatePublisherAppInfoController(
    const std::string& appId) {
  return std::make_unique<Recording<PublisherAppInfoController>>(m_journal, "PublisherAppInfo", appId);
}
std::unique_ptr<IRequestController> RecordingFactory::CreateRequestController() {
  return std::make_unique<Recording<RequestController>>(m_journal, "Request");
}
std::unique_ptr<IPersistentSettingsController> RecordingFactory::CreatePersistentSettingsController(
    const std::string& folder) {
  return std::make_unique<Recording<PersistentSettingsController>>(m_journal, "PersistentSettings", folder);
}
std::unique_ptr<IPrivacyController> RecordingFactory::CreatePrivacyController() {
  return std::make_unique<Recording<PrivacyController>>(m_journal, "Privacy");
}
std::unique_ptr<IGdprController> RecordingFactory::CreateGdprController() {
  return std::make_unique<Recording<GdprController>>(m_journal, "Gdpr");
}
std::unique_ptr<ICoppaController> RecordingFactory::CreateCoppaController() {
  return std::make_unique<Recording<CoppaController>>(m_journal, "Coppa");
}
std::unique_ptr<ICcpaController> RecordingFactory::CreateCcpaController() {
  return std::make_unique<Recording<CcpaController>>(m_journal, "Ccpa");
}
std::unique_ptr<IEndpointController> RecordingFactory::CreateEndpointController() {
  return std::make_unique<Recording<EndpointController>>(m_journal, "Endpoint");
}
std::unique_ptr<IPlacementsController> RecordingFactory::CreatePlacementsController() {
  return std::make_unique<Recording<PlacementsController>>(m_journal, "Placements");
}
std::unique_ptr<IMraidBridgePropertiesController> RecordingFactory::CreateMraidBridgePropertiesController() {
  return std::make_unique<Recording<MraidBridgePropertiesController>>(m_journal, "MraidBridgeProperties");
}
std::unique_ptr<IMraidCommandReceiverController> RecordingFactory::CreateMraidCommandReceiverController() {
  return std::make_unique<Recording<MraidCommandReceiverController>>(m_journal, "MraidCommandReceiver");
}
std::unique_ptr<ITpatController> RecordingFactory::CreateTpatController() {
  return std::make_unique<Recording<TpatController>>(m_journal, "Tpat");
}
std::unique_ptr<IMediationController> RecordingFactory::CreateMediationController() {
  return std::make_unique<Recording<MediationController>>(m_journal, "Mediation");
}

}  // namespace kestrel::test
