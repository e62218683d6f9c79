#include "kestrel/KestrelAds.h"

#include <exception>
#include <utility>

#include "ads/IMediationController.h"
#include "ads/IPlacementController.h"
#include "ads/IPlacementsController.h"
#include "ads/PlacementCallbacks.h"
#include "ads/PlacementController.h"
#include "ads/ReportPlayFailure.h"
#include "base/CallbackDispatcher.h"
#include "base/ControllerRegistry.h"
#include "base/WorkQueue.h"
#include "base/Guarded.h"
#include "base/IInitializationController.h"
#include "base/Log.h"
#include "base/Now.h"
#include "config/EndpointController.h"
#include "config/IPersistentSettingsController.h"
#include "device/IPublisherAppInfoController.h"
#include "display/WebEngineKeeper.h"
#include "platform/Backend.h"
#include "platform/PlatformServices.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "privacy/IGdprController.h"
#include "sdk/ControllerWiring.h"
#include "sdk/SdkState.h"
#include "storage/IFileSystemController.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

// Runs an exported operation's body; no exception leaves it.
constexpr char kUnknownException[] = "Unknown exception in Kestrel SDK operation";

template <typename T, typename Fn>
T Guarded(T fallback, Fn&& body) {
  return RunLogged(kUnknownException, std::move(fallback), std::forward<Fn>(body));
}

template <typename Fn>
void Guarded(Fn&& body) {
  RunLogged(kUnknownException, std::forward<Fn>(body));
}

KestrelAdPlayInfo MakePlayInfo(const std::string& placement, const AdPlayCallback& callback) {
  KestrelAdPlayInfo info;
  info.PlacementId = placement;
  info.OnAdStart = callback.OnAdStart;
  info.OnAdEnd = callback.OnAdEnd;
  info.OnAdClick = callback.OnAdClick;
  info.OnAdRewarded = callback.OnAdRewarded;
  info.OnAdPlayFailure = callback.OnAdPlayFailure;
  return info;
}

// Logs the refusal, tells OnAdPlayFailure and returns the refused record.
KestrelAdPlayInfo RefusePlay(KestrelAdPlayInfo info, const std::string& message) {
  LogError(message);
  ReportPlayFailure(info, info.PlacementId, message, {});
  return info;
}

// Until a configuration has been applied, a load fails at once, on the
// callback dispatcher, with why. False when it failed.
bool FailUnlessConfigured(const std::string& placement, const AdLoadCallback& callback) {
  std::string failure;
  const SdkState::InitPhase phase = SdkState::GetInitPhase(&failure);
  if (phase == SdkState::InitPhase::kConfigured) return true;
  const std::string message =
      "The SDK is not configured: " +
      (phase == SdkState::InitPhase::kRunning ? std::string("its configuration is still being fetched.")
                                              : "its configuration failed (" + failure + "); call InitializeAsync again.");
  LogError(message);
  if (callback.OnAdLoadFailure) {
    CallbackDispatcher::Post([onFailure = callback.OnAdLoadFailure, placement, message] {
      onFailure(AdLoadEventArgs{false, placement, message, 0});
    });
  }
  return false;
}

GdprStatus StoredGdprStatusFor(GdprConsentStatus status) {
  switch (status) {
    case GdprConsentStatus::Accepted: return GdprStatus::kOptedIn;
    case GdprConsentStatus::Denied: return GdprStatus::kOptedOut;
  }
  return GdprStatus::kUnknown;
}

GdprConsentStatus PublicGdprStatusFor(GdprStatus stored) {
  switch (stored) {
    case GdprStatus::kUnknown:
    case GdprStatus::kOptedIn: return GdprConsentStatus::Accepted;
    case GdprStatus::kOptedOut:
    case GdprStatus::kOptedOutByTimeout: return GdprConsentStatus::Denied;
  }
  LogError("Bad Consent Value! " + std::to_string(Number(stored)));
  return GdprConsentStatus::Accepted;
}

// The public CCPA numbers are the stored ones.
CcpaStatus StoredCcpaStatusFor(CcpaConsentStatus status) {
  return status == CcpaConsentStatus::OptedOut ? CcpaStatus::kOptedOut : CcpaStatus::kOptedIn;
}

// Tells every waiter of the attempt, on the callback dispatcher; each
// future is satisfied after its callback has run.
void EndInitialization(bool configured, const std::string& message, const std::vector<PlacementRecord>& placements,
                       std::exception_ptr exception, KestrelAds* instance) {
  for (auto& waiter : SdkState::FinishInitialization(configured, message)) {
    CallbackDispatcher::Post([waiter, configured, message, placements, exception, instance] {
      const auto& callback = waiter.callback;
      RunLogged(kUnknownException, [&] {
        if (configured && callback.OnInitializationSuccess) {
          try {
            callback.OnInitializationSuccess(InitializationSuccessEventArgs{placements});
          } catch (const std::exception& e) {
            // As an error while applying: logged, and told to the failure callback.
            LogException(e);
            if (callback.OnInitializationFailure) {
              callback.OnInitializationFailure(
                  InitializationFailureEventArgs{e.what(), std::make_exception_ptr(std::runtime_error(e.what()))});
            }
          }
        } else if (!configured && callback.OnInitializationFailure) {
          callback.OnInitializationFailure(InitializationFailureEventArgs{message, exception});
        } else if (configured && callback.OnInitializationFailure) {
          callback.OnInitializationFailure(InitializationFailureEventArgs{"onInitCompleted payload is null", nullptr});
        }
      });
      waiter.done->set_value(instance);
    });
  }
}

// Wires the controllers the first time; every attempt then fetches the
// configuration. Runs on the work queue; the outcome comes back through the
// initialization controller's callbacks.
void RunInitialization(const std::string& appId, const KestrelSdkConfig& config, WindowHandle window) {
  LogInfo("Initializing Win32");
  if (config.ConfigBaseUrl.empty()) {
    const std::string message = "KestrelSdkConfig::ConfigBaseUrl is empty: the SDK needs the ad server's base URL.";
    LogError(message);
    EndInitialization(false, message, {}, nullptr, SdkState::Instance());
    return;
  }
  PlacementController::SetLoadTimeout(config.LoadTimeout);

  if (!SdkState::Instance()) {
    // The configuration's connection opens while the controllers are wired and initialised.
    PlatformServices::HttpClient()->Preconnect(JoinUrl(config.ConfigBaseUrl, "/config"), 1);
    {
      // Privacy operations wait while the controllers are wired, so that no
      // choice lands in the pre-initialisation settings after the registry's
      // settings have read the file.
      std::lock_guard preinitLock(SdkState::PreinitMutex());
      WireControllers(appId, window, kSdkFolderName, SdkState::MakeFactory());
    }
    if (auto appInfo = R::GetPublisherAppInfoController()) {
      appInfo->SetAppId(appId);
      appInfo->PrintAppInfo();
    }
    InitializeControllers();
    SdkState::DropPreinit();
    if (auto gdpr = R::GetGdprController()) gdpr->CheckConsentTimeout();
    SdkState::SetInstance(std::make_unique<KestrelAds>());
    // The browser engine runs while an ad is ready to play.
    if (auto files = R::GetFileSystemController()) WebEngineKeeper::Configure(window, files->GetWebView2Folder());
  }

  if (config.CoppaStatus) {
    if (auto coppa = R::GetCoppaController()) coppa->SetCoppaStatus(*config.CoppaStatus);
  }
  if (config.CcpaStatus) KestrelAds::SetCcpaStatus(*config.CcpaStatus);
  if (config.DisableAshwidTracking) {
    if (auto settings = R::GetPersistentSettingsController())
      settings->SetPublisherDisableAshwidTracking(*config.DisableAshwidTracking);
  }

  auto init = R::GetInitializationController();
  if (!init) {
    EndInitialization(false, "The SDK has no initialization controller.", {}, nullptr, SdkState::Instance());
    return;
  }
  init->InitializeWithCallbacks(
      appId, config.ConfigBaseUrl,
      [](const InitializationSuccessEventArgs& args) {
        EndInitialization(true, {}, args.Placements, nullptr, SdkState::Instance());
      },
      [](const InitializationFailureEventArgs& args) {
        EndInitialization(false, args.Message, {}, args.Exception, SdkState::Instance());
      });
}

}  // namespace

KestrelAds& KestrelAds::operator=(const KestrelAds&) {
  return *this;
}
KestrelAds& KestrelAds::operator=(KestrelAds&&) noexcept {
  return *this;
}

std::future<KestrelAds*> KestrelAds::InitializeAsync(std::string appId, WindowHandle publisherWindow,
                                                     InitializationCallback callback) {
  return InitializeAsync(std::move(appId), KestrelSdkConfig{}, publisherWindow, std::move(callback));
}

std::future<KestrelAds*> KestrelAds::InitializeAsync(std::string appId, KestrelSdkConfig config,
                                                     WindowHandle publisherWindow, InitializationCallback callback) {
  return Guarded(std::future<KestrelAds*>(), [&] {
    SetLogOutput(config.MinimumLogLevel, config.LogToConsole);
    auto done = std::make_shared<std::promise<KestrelAds*>>();
    auto future = done->get_future();
    SdkState::InitWaiter waiter{callback, done};
    switch (SdkState::StartInitialization(waiter)) {
      case SdkState::InitStart::kJoined: break;
      case SdkState::InitStart::kConfigured:
        CallbackDispatcher::Post([waiter] {
          LogInfo("Initializing Win32");
          LogError("SDK has already been initialized!");
          RunLogged(kUnknownException, [&] {
            InitializationSuccessEventArgs args;
            if (auto init = R::GetInitializationController()) args.Placements = init->GetPlacements();
            if (waiter.callback.OnInitializationSuccess) waiter.callback.OnInitializationSuccess(args);
          });
          waiter.done->set_value(SdkState::Instance());
        });
        break;
      case SdkState::InitStart::kRun:
        StayLoaded();
        // Usually the caller runs the window's event loop: the windows' work goes there.
        UseWindowThread(publisherWindow);
        WorkQueue::Shared().Post([appId = std::move(appId), config = std::move(config), publisherWindow] {
          try {
            RunInitialization(appId, config, publisherWindow);
          } catch (const std::exception& e) {
            LogException(e);
            EndInitialization(false, e.what(), {}, std::current_exception(), nullptr);
          } catch (...) {
            LogError(kUnknownException);
            EndInitialization(false, kUnknownException, {}, nullptr, nullptr);
          }
        });
        break;
    }
    return future;
  });
}

bool KestrelAds::LoadAd(std::string placement, AdLoadCallback callback) {
  return Guarded(false, [&] {
    auto placements = R::GetPlacementsController();
    if (!placements) {
      LogError("Can't load an ad before InitializeAsync has been called.");
      return false;
    }
    if (!FailUnlessConfigured(placement, callback)) return true;
    return placements->LoadAd(placement, callback.OnAdLoadSuccess, callback.OnAdLoadFailure);
  });
}

bool KestrelAds::LoadMediatedAd(std::string placement, AdLoadCallback callback, std::string adMarkup) {
  return Guarded(false, [&] {
    auto mediation = R::GetMediationController();
    if (!mediation) {
      LogError("LoadMediatedAd: MediationController is not initialized.");
      return false;
    }
    if (!FailUnlessConfigured(placement, callback)) return true;
    if (!mediation->LoadMediatedAd(placement, callback, adMarkup)) return false;
    LogInfo("Placement " + placement + " is downloading assets after a successful LoadMediatedAd call....");
    return true;
  });
}

void KestrelAds::SetLoadCallback(std::string placement, AdLoadCallback callback) {
  Guarded([&] { PlacementCallbacks::Set(placement, std::move(callback)); });
}

bool KestrelAds::IsAdPlayable(std::string placement) {
  return Guarded(false, [&] {
    auto placements = R::GetPlacementsController();
    if (!placements) return false;
    IPlacementController* controller = placements->FindPlacement(placement);
    return controller != nullptr && controller->IsAdPlayable(placement);
  });
}

KestrelAdPlayInfo KestrelAds::PlayAd(std::string placement, AdPlayCallback callback) {
  return PlayAd(std::move(placement), std::move(callback), AdConfig{});
}

KestrelAdPlayInfo KestrelAds::PlayAd(std::string placement, AdPlayCallback callback, AdConfig config) {
  KestrelAdPlayInfo refused = MakePlayInfo(placement, callback);
  refused.Success = false;
  return Guarded(refused, [&] {
    if (!R::GetPlacementsController()) {
      return RefusePlay(MakePlayInfo(placement, callback),
                        "Can't load placement if placements aren't initialized yet!");
    }
    return PlayAdInternal(config, placement, callback, std::string());
  });
}

KestrelAdPlayInfo KestrelAds::PlayMediatedAd(AdConfig config, std::string placement, AdPlayCallback callback,
                                             std::string adMarkup) {
  KestrelAdPlayInfo refused = MakePlayInfo(placement, callback);
  refused.Success = false;
  return Guarded(refused, [&] {
    auto placements = R::GetPlacementsController();
    KestrelAdPlayInfo info = MakePlayInfo(placement, callback);
    if (!placements) return RefusePlay(info, "Can't load placement if placements aren't initialized yet!");
    IPlacementController* controller = placements->FindPlacement(placement);
    if (!controller) return RefusePlay(info, "Don't have a placement with that name: " + placement);
    if (!dynamic_cast<PlacementController*>(controller)) {
      return RefusePlay(info, "Placement found but cannot cast to concrete PlacementController.");
    }
    if (!controller->IsHeaderBidding()) {
      return RefusePlay(info,
                        "Use PlayAd instead of PlayMediatedAd for non-header bidding placements like " + placement);
    }
    return PlayAdInternal(config, placement, callback, adMarkup);
  });
}

KestrelAdPlayInfo KestrelAds::PlayAdInternal(AdConfig config, std::string placement, AdPlayCallback callback,
                                             std::string adMarkup) {
  KestrelAdPlayInfo info = MakePlayInfo(placement, callback);
  auto placements = R::GetPlacementsController();
  if (!placements) return RefusePlay(info, "PlacementsController is not initialized.");
  return placements->PlayAd(placement, config, info, adMarkup);
}

std::string KestrelAds::GetMediationSuperToken(std::string argument) {
  return Guarded(std::string(), [&] {
    if (!R::GetPlacementsController()) {
      LogError("Can't get supertoken if placements aren't initialized yet!");
      return std::string();
    }
    auto mediation = R::GetMediationController();
    if (!mediation) {
      LogError("MediationController is not initialized.");
      return std::string();
    }
    return mediation->GetSuperToken(argument);
  });
}

void KestrelAds::AddDiagnosticListener(std::function<void(DiagnosticLogEvent)> listener) {
  Guarded([&] { kestrel::AddDiagnosticListener(std::move(listener)); });
}

void KestrelAds::RemoveDiagnosticListener(std::function<void(DiagnosticLogEvent)> listener) {
  Guarded([&] { kestrel::RemoveDiagnosticListener(listener); });
}

// The privacy operations use the controller that owns the value once the SDK
// has it, and the pre-initialisation settings before. Both are looked at under
// the pre-initialisation lock, which initialisation holds while it wires the
// controllers, so no choice can land in settings that are about to be dropped.

GdprConsentStatus KestrelAds::GetGdprConsentStatus() {
  return Guarded(GdprConsentStatus::Accepted, [] {
    return SdkState::WithPreinit([](PreinitSettings* preinit) {
      if (auto gdpr = R::GetGdprController()) return PublicGdprStatusFor(gdpr->GetConsentStatus());
      if (!preinit) {
        LogError("GetGdprConsentStatus: m_preinitSettings is null.");
        return GdprConsentStatus::Accepted;
      }
      return PublicGdprStatusFor(static_cast<GdprStatus>(preinit->Settings().GetGdprConsentStatus()));
    });
  });
}

void KestrelAds::SetGdprConsentStatus(GdprConsentStatus status, std::string consentMessageVersion) {
  Guarded([&] {
    if (status != GdprConsentStatus::Accepted && status != GdprConsentStatus::Denied) {
      LogError("SetGdprConsentStatus: " + std::to_string(static_cast<int>(status)) +
               " is neither Accepted nor Denied; the stored consent stays.");
      return;
    }
    const GdprStatus stored = StoredGdprStatusFor(status);
    SdkState::WithPreinit([&](PreinitSettings* preinit) {
      if (auto gdpr = R::GetGdprController()) {
        LogInfo(std::string("Setting GDPR consent status to ") +
                (status == GdprConsentStatus::Accepted ? "Accepted" : "Denied") +
                ", version: " + consentMessageVersion);
        gdpr->SetConsentStatus(stored, consentMessageVersion);
        return;
      }
      if (!preinit) {
        LogError("SetGdprConsentStatus: m_preinitSettings is null.");
        return;
      }
      auto& settings = preinit->Settings();
      const bool known = stored != GdprStatus::kUnknown;
      settings.SetGdprConsentStatus(Number(stored));
      settings.SetGdprConsentSource(Number(GdprSource::kSourcePublisher));
      settings.SetGdprConsentTimestamp(known ? NowSeconds() : 0);
      settings.SetGdprConsentMessageVersion(known ? consentMessageVersion : std::string());
    });
  });
}

void KestrelAds::ResetGdprConsentStatusToUnknown() {
  Guarded([] {
    if (auto gdpr = R::GetGdprController()) gdpr->ResetConsentStatusToUnknown();
  });
}

std::string KestrelAds::GetGdprConsentMessageVersion() {
  return Guarded(std::string(), [] {
    return SdkState::WithPreinit([](PreinitSettings* preinit) {
      // The stored version answers both before and after initialisation.
      if (auto settings = R::GetPersistentSettingsController()) return settings->GetGdprConsentMessageVersion();
      if (!preinit) {
        LogError("GetGdprConsentMessageVersion: m_preinitSettings is null.");
        return std::string();
      }
      return preinit->Settings().GetGdprConsentMessageVersion();
    });
  });
}

CcpaConsentStatus KestrelAds::GetCcpaStatus() {
  return Guarded(CcpaConsentStatus::OptedIn, [] {
    auto toPublic = [](CcpaStatus v) {
      return v == CcpaStatus::kOptedOut ? CcpaConsentStatus::OptedOut : CcpaConsentStatus::OptedIn;
    };
    return SdkState::WithPreinit([&](PreinitSettings* preinit) {
      if (auto ccpa = R::GetCcpaController()) return toPublic(ccpa->GetCcpaStatus());
      if (!preinit) {
        LogError("GetCcpaStatus: m_preinitSettings is null.");
        return CcpaConsentStatus::OptedIn;
      }
      return toPublic(static_cast<CcpaStatus>(preinit->Settings().GetCcpaInternalConsentStatus()));
    });
  });
}

void KestrelAds::SetCcpaStatus(CcpaConsentStatus status) {
  Guarded([&] {
    if (status != CcpaConsentStatus::OptedIn && status != CcpaConsentStatus::OptedOut) {
      LogError("SetCcpaStatus: " + std::to_string(static_cast<int>(status)) +
               " is neither OptedIn nor OptedOut; the stored choice stays.");
      return;
    }
    SdkState::WithPreinit([&](PreinitSettings* preinit) {
      if (auto ccpa = R::GetCcpaController()) {
        ccpa->SetCcpaStatus(StoredCcpaStatusFor(status));
        LogInfo(std::string("CCPA status set to ") + (status == CcpaConsentStatus::OptedIn ? "Opted In" : "Opted Out"));
        return;
      }
      if (!preinit) {
        LogError("SetCcpaStatus: m_preinitSettings is null.");
        return;
      }
      preinit->Settings().SetCcpaInternalConsentStatus(Number(StoredCcpaStatusFor(status)));
    });
  });
}

bool KestrelAds::GetCoppaStatus() {
  return Guarded(false, [] {
    return SdkState::WithPreinit([](PreinitSettings* preinit) {
      if (auto coppa = R::GetCoppaController()) return coppa->GetCoppaStatus();
      if (!preinit) {
        LogError("GetCoppaStatus: m_preinitSettings is null.");
        return false;
      }
      return preinit->Settings().GetCoppaConsentStatus();
    });
  });
}

void KestrelAds::SetCoppaStatus(bool status) {
  Guarded([&] {
    SdkState::WithPreinit([&](PreinitSettings* preinit) {
      if (auto coppa = R::GetCoppaController()) {
        coppa->SetCoppaStatus(status);
        LogInfo(std::string("COPPA status set to ") + (status ? "true" : "false"));
        return;
      }
      if (!preinit) {
        LogError("SetCoppaStatus: m_preinitSettings is null.");
        return;
      }
      preinit->Settings().SetCoppaConsentStatus(status);
    });
  });
}

bool KestrelAds::GetDisableASHWID() {
  return Guarded(false, [] {
    return SdkState::WithPreinit([](PreinitSettings* preinit) {
      if (auto settings = R::GetPersistentSettingsController()) return settings->GetPublisherDisableAshwidTracking();
      if (!preinit) {
        LogError("GetDisableASHWID: m_preinitSettings is null.");
        return false;
      }
      return preinit->Settings().GetPublisherDisableAshwidTracking();
    });
  });
}

void KestrelAds::SetDisableAshwidTracking(bool disable) {
  Guarded([&] {
    SdkState::WithPreinit([&](PreinitSettings* preinit) {
      if (auto settings = R::GetPersistentSettingsController()) {
        settings->SetPublisherDisableAshwidTracking(disable);
        return;
      }
      if (!preinit) {
        LogError("SetDisableAshwidTracking: m_preinitSettings is null.");
        return;
      }
      preinit->Settings().SetPublisherDisableAshwidTracking(disable);
    });
  });
}

}  // namespace kestrel
