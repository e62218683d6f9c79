#include "sdk/InitializationController.h"

#include <cstdio>
#include <stdexcept>

#include "ads/IPlacementsController.h"
#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "base/WorkQueue.h"
#include "ads/PlacementController.h"
#include "config/ConfigDocument.h"
#include "config/ConfigResponse.h"
#include "config/EndpointController.h"
#include "config/IEndpointController.h"
#include "config/IPersistentSettingsController.h"
#include "config/JsonReadRules.h"
#include "net/RequestBase.h"
#include "platform/PlatformServices.h"
#include "privacy/IGdprController.h"
#include "server/IRequestController.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

// Attempts are numbered across the process, so that a deadline never takes another controller's attempt for its own.
std::atomic<std::uint64_t> g_attempts{0};

}  // namespace

InitializationController::InitializationController() = default;

InitializationController::~InitializationController() {
  std::lock_guard lock(m_mutex);
  if (!m_listenerId) return;
  if (auto requests = m_requests.lock()) requests->RemoveResponseListener(*m_listenerId);
}

void InitializationController::Listen(const std::shared_ptr<IRequestController>& requests) {
  // The registry owns this controller by now: the listener holds it weakly, so
  // an answer that arrives while the registry drops it finds it alive or gone.
  auto self = std::dynamic_pointer_cast<InitializationController>(R::GetInitializationController());
  if (!self || self.get() != this) return;
  std::lock_guard lock(m_mutex);
  if (m_listenerId) return;
  std::weak_ptr<InitializationController> weak = self;
  m_listenerId = requests->AddResponseListener([weak](std::shared_ptr<ResponseBase> response) {
    if (auto alive = weak.lock()) alive->OnResponse(response);
  });
  m_requests = requests;
}

std::future<bool> InitializationController::Initialize() {
  return MakeReadyFuture(true);
}

std::future<bool> InitializationController::InitializeWithCallbacks(std::string /*appId*/, std::string configText,
                                                                    InitializationSuccessHandler onSuccess,
                                                                    InitializationFailureHandler onFailure) {
  {
    std::lock_guard lock(m_mutex);
    m_onSuccess = std::move(onSuccess);
    m_onFailure = std::move(onFailure);
  }
  // A publisher-given base URL replaces the built-in configuration endpoint.
  if (!configText.empty()) {
    if (auto endpoints = R::GetEndpointController()) endpoints->SetConfigUrl(JoinUrl(configText, "/config"));
  }
  WriteLine(stdout, "Initialization started...");
  auto requests = R::GetRequestController();
  if (!requests) {
    LogError("RequestController is null!");
    Fail("RequestController is null!");
    LogError("Failed to get new config or apply old config.");
    return MakeReadyFuture(false);
  }
  Listen(requests);
  const std::uint64_t attempt = ++g_attempts;
  m_attempt.store(attempt);
  m_awaiting.store(true);
  requests->RequestConfig();
  // A server that trickles its answer for ever must not hold initialisation for ever.
  WorkQueue::Shared().PostAfter(PlacementController::LoadTimeout(), [attempt] {
    auto self = std::dynamic_pointer_cast<InitializationController>(R::GetInitializationController());
    if (self) self->OnDeadline(attempt);
  });
  return MakeReadyFuture(true);
}

void InitializationController::OnDeadline(std::uint64_t attempt) {
  if (m_attempt.load() != attempt || !m_awaiting.exchange(false)) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(PlacementController::LoadTimeout()).count();
  const std::string message = "The configuration request timed out after " + std::to_string(seconds) + " s.";
  LogError(message);
  Fail(message);
}

void InitializationController::OnResponse(const std::shared_ptr<ResponseBase>& response) {
  try {
    auto requests = R::GetRequestController();
    if (!response || !response->m_request || !requests) return;
    if (response->m_request->m_name != requests->GetConfigRequestName()) return;
    // One answer per attempt; a late one of an attempt that timed out is not applied.
    if (!m_awaiting.exchange(false)) return;

    const bool serverError = response->m_httpStatusCode < 200 || response->m_httpStatusCode > 299;
    if (response->m_status == ResponseBase::kFailed || serverError) {
      // A server's error page is no configuration: applying it would overwrite stored settings.
      LogError("Didn't get /config response - got network error");
      Fail(response->m_text);
      return;
    }
    if (auto config = std::dynamic_pointer_cast<ConfigResponse>(response)) ApplyConfig(config);
  } catch (const std::exception& e) {
    LogError(e.what());
  }
}

void InitializationController::ApplyConfig(const std::shared_ptr<ConfigResponse>& response) {
  try {
    auto doc = ConfigDocument::Parse(response->m_text);
    if (!doc) {
      LogError("ApplyConfig got bad response!");
      Fail("ApplyConfig got bad response!");
      return;
    }

    response->m_placements.clear();
    const std::size_t count = ConfigDocument::PlacementCount(*doc);
    for (std::size_t i = 0; i < count; ++i) {
      const auto entry = ConfigDocument::PlacementAt(*doc, i);
      if (entry.is_null()) {
        LogError("Got bad placement info from Platform.");
        continue;
      }
      PlacementRecord record = ConfigDocument::ReadPlacement(entry);
      if (auto placements = R::GetPlacementsController()) placements->AddPlacement(record);
      response->m_placements.push_back(record);
    }

    const std::int32_t refreshTime = ConfigDocument::RefreshTime(*doc);
    {
      std::lock_guard lock(m_mutex);
      m_refreshTime = refreshTime;
    }

    if (auto settings = R::GetPersistentSettingsController()) {
      settings->SetPlatformDisabledAdId(ConfigDocument::DisableAdId(*doc));
      settings->SetConfigExtension(ConfigDocument::ConfigExtension(*doc));
    }

    if (auto gdpr = R::GetGdprController()) gdpr->GetGdprSettingsFromConfigResponse(response, doc);

    const bool heartbeat = ConfigDocument::HeartbeatCheckEnabled(*doc);
    {
      std::lock_guard lock(m_mutex);
      m_heartbeatCheckEnabled = heartbeat;
    }

    if (auto endpoints = R::GetEndpointController()) {
      endpoints->SetAdsUrl(ConfigDocument::AdsEndpoint(*doc));
      PlatformServices::HttpClient()->Preconnect(endpoints->GetAdsUrl(), 1);  // for the first load
      endpoints->SetLogEndpoint(ConfigDocument::LogEndpoint(*doc));
      endpoints->SetNewEndpoint(ConfigDocument::NewEndpoint(*doc));
      endpoints->SetRiEndpoint(ConfigDocument::RiEndpoint(*doc));
      endpoints->SetSdkBiEndpoint(ConfigDocument::SdkBiEndpoint(*doc));
    }
    if (auto placements = R::GetPlacementsController()) placements->StartAutoLoads();

    InitializationSuccessEventArgs args{response->m_placements};
    InitializationSuccessHandler onSuccess;
    {
      std::lock_guard lock(m_mutex);
      m_placements = response->m_placements;
      onSuccess = m_onSuccess;
    }
    if (onSuccess) {
      onSuccess(args);
    } else {
      Fail("onInitCompleted payload is null");
    }
  } catch (const std::exception& e) {
    const std::string message = JsonReadRules::ErrorText(e);
    LogError(message);
    Fail(message, std::make_exception_ptr(std::runtime_error(message)));
  }
}

void InitializationController::Fail(const std::string& message, std::exception_ptr exception) {
  InitializationFailureHandler onFailure;
  {
    std::lock_guard lock(m_mutex);
    onFailure = m_onFailure;
  }
  if (onFailure) onFailure(InitializationFailureEventArgs{message, exception});
}

bool InitializationController::GetHeartbeatCheckEnabled() {
  std::lock_guard lock(m_mutex);
  return m_heartbeatCheckEnabled;
}

bool InitializationController::GetPlatformDisabledAdId() {
  auto settings = R::GetPersistentSettingsController();
  return settings && settings->GetPlatformDisabledAdId();
}

void InitializationController::SetPlatformDisabledAdId(bool disabled) {
  if (auto settings = R::GetPersistentSettingsController()) settings->SetPlatformDisabledAdId(disabled);
}

Json InitializationController::GetExtJson() {
  static std::mutex extMutex;
  std::lock_guard lock(extMutex);
  auto settings = R::GetPersistentSettingsController();
  Json ext;
  ext["ext"]["config_extension"] = settings ? settings->GetConfigExtension() : std::string();
  return ext;
}

std::vector<PlacementRecord> InitializationController::GetPlacements() {
  std::lock_guard lock(m_mutex);
  return m_placements;
}

}  // namespace kestrel
