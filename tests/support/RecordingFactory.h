#pragma once

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "sdk/InitializationController.h"
#include "sdk/TovaneSdkConcreteFactory.h"

namespace kestrel::test {

// What a RecordingFactory's controllers did, in order.
class Journal {
 public:
  void Add(std::vector<std::string> Journal::*list, const std::string& name) {
    std::lock_guard lock(m_mutex);
    (this->*list).push_back(name);
  }
  std::vector<std::string> Created() {
    std::lock_guard lock(m_mutex);
    return created;
  }
  std::vector<std::string> Initialized() {
    std::lock_guard lock(m_mutex);
    return initialized;
  }
  std::vector<std::string> Calls() {
    std::lock_guard lock(m_mutex);
    return calls;
  }

  std::vector<std::string> created;
  std::vector<std::string> initialized;
  std::vector<std::string> calls;
  std::string throwOnInitialize;  // name of the controller whose Initialize throws

 private:
  std::mutex m_mutex;
};

// A real controller that also writes its creation and initialisation to a journal.
template <typename Base>
class Recording : public Base {
 public:
  template <typename... Args>
  Recording(std::shared_ptr<Journal> journal, std::string name, Args&&... args)
      : Base(std::forward<Args>(args)...), m_journal(std::move(journal)), m_name(std::move(name)) {
    m_journal->Add(&Journal::created, m_name);
  }
  std::future<bool> Initialize() override {
    m_journal->Add(&Journal::initialized, m_name);
    if (m_journal->throwOnInitialize == m_name) throw std::runtime_error(m_name + " failed to initialize");
    return Base::Initialize();
  }

 protected:
  std::shared_ptr<Journal> m_journal;
  std::string m_name;
};

// Stands in for the configuration exchange: reports success with no placements at once.
class ImmediateInitialization : public Recording<InitializationController> {
 public:
  using Recording::Recording;
  std::future<bool> InitializeWithCallbacks(std::string appId, std::string configText,
                                            InitializationSuccessHandler onSuccess,
                                            InitializationFailureHandler onFailure) override;
};

// Creates the real controllers, recording each creation and Initialize call.
class RecordingFactory : public TovaneSdkConcreteFactory {
 public:
  explicit RecordingFactory(std::shared_ptr<Journal> journal) : m_journal(std::move(journal)) {}

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

 private:
  std::shared_ptr<Journal> m_journal;
};

}  // namespace kestrel::test
