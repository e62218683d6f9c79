// The C interface (kestrel/kestrel.h) over KestrelAds. Each function checks its
// pointers, converts to and from C types, and lets no exception out.
#include "kestrel/kestrel.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/CallbackDispatcher.h"
#include "base/Guarded.h"
#include "base/Log.h"
#include "kestrel/KestrelAds.h"
#include "net/RequestHeaders.h"

// True when the record's size covers the member.
#define KESTREL_COVERS(record, type, member) \
  ((record)->size >= offsetof(type, member) + sizeof((record)->member))

namespace kestrel {
namespace {

constexpr char kUnknownException[] = "Unknown exception in Kestrel SDK C function";
constexpr char kCallbackException[] = "Unknown exception in a callback of the C interface";

template <typename Fn>
kestrel_result Run(Fn&& body) {
  return RunLogged(kUnknownException, KESTREL_ERROR_INTERNAL, std::forward<Fn>(body));
}

// Logs and says so when a required pointer is null.
template <typename T>
bool Missing(const char* function, const char* argument, T* pointer) {
  if (pointer) return false;
  LogError(std::string(function) + ": " + argument + " is null.");
  return true;
}

// Logs and says so when a caller's record is too small for its first member.
bool TooSmall(const char* function, const char* argument, std::size_t size, std::size_t minimum) {
  if (size >= minimum) return false;
  LogError(std::string(function) + ": " + argument + "->size is " + std::to_string(size) + ", less than " +
           std::to_string(minimum) + ".");
  return true;
}

bool KnownCcpa(int status) {
  return status == KESTREL_CCPA_OPTED_IN || status == KESTREL_CCPA_OPTED_OUT;
}

std::string Text(const char* text) {
  return text ? std::string(text) : std::string();
}

std::string ExceptionText(const std::exception_ptr& exception) {
  if (!exception) return {};
  try {
    std::rethrow_exception(exception);
  } catch (const std::exception& e) {
    return e.what();
  } catch (const Exception& e) {
    return e.Message();
  } catch (...) {
    return "unknown exception";
  }
}

char* CopyOut(const std::string& text) {
  auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// The callbacks given since the last kestrel_drop_callbacks(): a call runs
// only while its generation is current, and dropping waits for the calls in
// progress on other threads.
class CallbackGate {
 public:
  std::uint64_t Generation() {
    std::lock_guard lock(m_mutex);
    return m_generation;
  }

  template <typename Fn>
  void Call(std::uint64_t generation, Fn&& call) {
    {
      std::lock_guard lock(m_mutex);
      if (generation != m_generation) return;
      ++m_inProgress;
    }
    ++t_depth;
    RunLogged(kCallbackException, std::forward<Fn>(call));
    --t_depth;
    std::lock_guard lock(m_mutex);
    --m_inProgress;
    m_idle.notify_all();
  }

  // Waits, without the SDK's locks, for the dropped callbacks still running on
  // other threads: publisher code, which the SDK never makes wait for the
  // network. The calls of droppers (a drop from inside a callback) are not waited for.
  void Drop() {
    std::unique_lock lock(m_mutex);
    ++m_generation;
    m_dropping += t_depth;
    m_idle.notify_all();
    m_idle.wait(lock, [&] { return m_inProgress == m_dropping; });
    m_dropping -= t_depth;
    m_idle.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_idle;
  std::uint64_t m_generation = 0;
  int m_inProgress = 0;
  int m_dropping = 0;  // calls in progress on threads waiting in Drop
  static thread_local int t_depth;
};

thread_local int CallbackGate::t_depth = 0;

CallbackGate& Gate() {
  static auto* gate = new CallbackGate();
  return *gate;
}

// One initialisation call: its callback is told once, and then the outcome
// kestrel_wait_initialization reads.
class InitCall {
 public:
  InitCall(kestrel_init_callback callback, void* userData)
      : m_callback(callback), m_userData(userData), m_generation(Gate().Generation()) {}

  std::shared_future<kestrel_result> Outcome() { return m_outcome; }

  void Tell(kestrel_result result, const std::string& message, const std::vector<PlacementRecord>& placements) {
    if (m_told.exchange(true)) return;
    if (m_callback) {
      std::vector<kestrel_placement> records;
      for (const auto& p : placements) {
        records.push_back(kestrel_placement{sizeof(kestrel_placement), p.ReferenceId.c_str(), p.IsAutoCached,
                                            p.IsIncentivized, p.HeaderBidding, p.MaxHbCache});
      }
      std::vector<const kestrel_placement*> pointers;
      for (const auto& r : records) pointers.push_back(&r);
      const kestrel_init_event event{sizeof(kestrel_init_event), message.c_str(), pointers.size(), pointers.data()};
      Gate().Call(m_generation, [&] { m_callback(m_userData, result, &event); });
    }
    m_result.set_value(result);
  }

 private:
  kestrel_init_callback m_callback;
  void* m_userData;
  std::uint64_t m_generation;
  std::atomic<bool> m_told{false};
  std::promise<kestrel_result> m_result;
  std::shared_future<kestrel_result> m_outcome = m_result.get_future().share();
};

// The latest initialisation's outcome, for kestrel_wait_initialization.
struct InitState {
  std::mutex mutex;
  std::shared_future<kestrel_result> outcome;
};

InitState& Initialization() {
  static auto* state = new InitState();
  return *state;
}

kestrel_result StartInitialization(const char* appId, const KestrelSdkConfig& config, kestrel_window window,
                                   kestrel_init_callback callback, void* userData) {
  auto call = std::make_shared<InitCall>(callback, userData);
  InitializationCallback callbacks;
  callbacks.OnInitializationSuccess = [call](InitializationSuccessEventArgs args) {
    call->Tell(KESTREL_OK, "", args.Placements);
  };
  callbacks.OnInitializationFailure = [call](InitializationFailureEventArgs args) {
    std::string message = args.Message;
    if (args.Exception) message += ": " + ExceptionText(args.Exception);
    call->Tell(KESTREL_ERROR_INITIALIZATION_FAILED, message, {});
  };
  {
    auto& state = Initialization();
    std::lock_guard lock(state.mutex);
    state.outcome = call->Outcome();
  }
  // The future is not waited for: the callbacks tell the outcome.
  std::future<KestrelAds*> started =
      KestrelAds::InitializeAsync(appId, config, static_cast<WindowHandle>(window), std::move(callbacks));
  return started.valid() ? KESTREL_OK : KESTREL_ERROR_INTERNAL;
}

// Hands a load's outcome to a C callback; what it throws is logged.
void TellLoad(std::uint64_t generation, kestrel_load_callback callback, void* userData, const AdLoadEventArgs& args) {
  const kestrel_load_event event{sizeof(kestrel_load_event), args.Success, args.PlacementId.c_str(),
                                 args.Message.c_str(), args.Count};
  Gate().Call(generation, [&] { callback(userData, &event); });
}

// One load call: its callback is told exactly once, at the latest when the
// SDK drops it; a refused load is never told.
class LoadCall {
 public:
  LoadCall(kestrel_load_callback callback, void* userData, std::string placement)
      : m_callback(callback),
        m_userData(userData),
        m_placement(std::move(placement)),
        m_generation(Gate().Generation()) {}
  LoadCall(const LoadCall&) = delete;
  LoadCall& operator=(const LoadCall&) = delete;
  ~LoadCall() {
    if (m_told.exchange(true)) return;
    // Dropped untold (the SDK was torn down): told on the callback thread, never under the dropper's locks.
    RunLogged(kCallbackException, [&] {
      CallbackDispatcher::Post(
          [callback = m_callback, userData = m_userData, placement = m_placement, generation = m_generation] {
            const kestrel_load_event event{sizeof(kestrel_load_event), 0, placement.c_str(),
                                           "The load ended without a result.", 0};
            Gate().Call(generation, [&] { callback(userData, &event); });
          });
    });
  }

  void Tell(const AdLoadEventArgs& args) {
    if (m_told.exchange(true)) return;
    TellLoad(m_generation, m_callback, m_userData, args);
  }
  void Refused() { m_told.store(true); }

 private:
  kestrel_load_callback m_callback;
  void* m_userData;
  std::string m_placement;
  std::uint64_t m_generation;
  std::atomic<bool> m_told{false};
};

// Runs load with the C callback behind an AdLoadCallback; a refusal tells nothing.
template <typename Load>
kestrel_result StartLoad(kestrel_load_callback callback, void* userData, const std::string& placement, Load load) {
  AdLoadCallback callbacks;
  std::shared_ptr<LoadCall> call;
  if (callback) {
    call = std::make_shared<LoadCall>(callback, userData, placement);
    callbacks.OnAdLoadSuccess = [call](AdLoadEventArgs args) { call->Tell(args); };
    callbacks.OnAdLoadFailure = [call](AdLoadEventArgs args) { call->Tell(args); };
  }
  if (load(std::move(callbacks))) return KESTREL_OK;
  if (call) call->Refused();
  return KESTREL_ERROR_REFUSED;
}

// One play call: its callback hears every event, then KESTREL_AD_RELEASED when the SDK drops it.
class PlayCall {
 public:
  PlayCall(kestrel_play_callback callback, void* userData)
      : m_callback(callback), m_userData(userData), m_generation(Gate().Generation()) {}
  PlayCall(const PlayCall&) = delete;
  PlayCall& operator=(const PlayCall&) = delete;
  // The last call comes on the callback thread: the SDK may drop a play under a lock of its own.
  ~PlayCall() {
    RunLogged(kCallbackException, [&] {
      CallbackDispatcher::Post([callback = m_callback, userData = m_userData, generation = m_generation] {
        Gate().Call(generation, [&] { callback(userData, KESTREL_AD_RELEASED, nullptr); });
      });
    });
  }

  void Tell(kestrel_play_event_kind kind, const AdPlayEventArgs& args) {
    const std::string exception = ExceptionText(args.Exception);
    const kestrel_play_event event{sizeof(kestrel_play_event), args.PlacementId.c_str(), args.Message.c_str(),
                                   args.EventId.c_str(), args.Exception ? exception.c_str() : nullptr};
    Gate().Call(m_generation, [&] { m_callback(m_userData, kind, &event); });
  }

 private:
  kestrel_play_callback m_callback;
  void* m_userData;
  std::uint64_t m_generation;
};

AdPlayCallback PlayCallbacks(kestrel_play_callback callback, void* userData) {
  AdPlayCallback callbacks;
  if (!callback) return callbacks;
  auto call = std::make_shared<PlayCall>(callback, userData);
  auto forward = [call](kestrel_play_event_kind kind) {
    return [call, kind](AdPlayEventArgs args) { call->Tell(kind, args); };
  };
  callbacks.OnAdStart = forward(KESTREL_AD_START);
  callbacks.OnAdEnd = forward(KESTREL_AD_END);
  callbacks.OnAdClick = forward(KESTREL_AD_CLICK);
  callbacks.OnAdRewarded = forward(KESTREL_AD_REWARDED);
  callbacks.OnAdPlayFailure = forward(KESTREL_AD_PLAY_FAILURE);
  return callbacks;
}

AdConfig ToAdConfig(const kestrel_play_options* options) {
  AdConfig config;
  if (!options) return config;
  if (KESTREL_COVERS(options, kestrel_play_options, incentivized_title_text))
    config.IncentivizedTitleText = Text(options->incentivized_title_text);
  if (KESTREL_COVERS(options, kestrel_play_options, incentivized_body_text))
    config.IncentivizedBodyText = Text(options->incentivized_body_text);
  if (KESTREL_COVERS(options, kestrel_play_options, incentivized_close_text))
    config.IncentivizedCloseText = Text(options->incentivized_close_text);
  if (KESTREL_COVERS(options, kestrel_play_options, incentivized_continue_text))
    config.IncentivizedContinueText = Text(options->incentivized_continue_text);
  if (KESTREL_COVERS(options, kestrel_play_options, window))
    config.Window = static_cast<WindowHandle>(options->window);
  return config;
}

// The texts of the last play record handed out on this thread.
struct PlayTexts {
  std::string placement, message, eventId, creativeId, campaignId;
};

void FillPlayInfo(const KestrelAdPlayInfo& result, kestrel_play_info* info) {
  thread_local PlayTexts texts;
  texts = PlayTexts{result.PlacementId, result.Message, result.EventId, result.CreativeId, result.CampaignId};
  info->success = result.Success;
  if (KESTREL_COVERS(info, kestrel_play_info, placement_id)) info->placement_id = texts.placement.c_str();
  if (KESTREL_COVERS(info, kestrel_play_info, message)) info->message = texts.message.c_str();
  if (KESTREL_COVERS(info, kestrel_play_info, event_id)) info->event_id = texts.eventId.c_str();
  if (KESTREL_COVERS(info, kestrel_play_info, creative_id)) info->creative_id = texts.creativeId.c_str();
  if (KESTREL_COVERS(info, kestrel_play_info, campaign_id)) info->campaign_id = texts.campaignId.c_str();
}

constexpr std::size_t kPlayInfoMinimum = offsetof(kestrel_play_info, success) + sizeof(int);

// The SDK has logged why when it refuses.
kestrel_result Play(const char* placement, const kestrel_play_options* options, const char* markup,
                    kestrel_play_callback callback, void* userData, kestrel_play_info* info) {
  AdPlayCallback callbacks = PlayCallbacks(callback, userData);
  KestrelAds ads;
  const KestrelAdPlayInfo result = markup ? ads.PlayMediatedAd(ToAdConfig(options), placement, callbacks, markup)
                                          : ads.PlayAd(placement, callbacks, ToAdConfig(options));
  FillPlayInfo(result, info);
  return result.Success ? KESTREL_OK : KESTREL_ERROR_REFUSED;
}

// C listeners behind one C++ listener.
struct Listener {
  kestrel_log_listener call;
  void* userData;
  std::uint64_t generation;
};

struct Listeners {
  std::mutex mutex;
  std::vector<Listener> list;
  bool hooked = false;
};

Listeners& DiagnosticListeners() {
  static auto* listeners = new Listeners();
  return *listeners;
}

void DispatchLogEvent(DiagnosticLogEvent event) {
  std::vector<Listener> list;
  {
    auto& listeners = DiagnosticListeners();
    std::lock_guard lock(listeners.mutex);
    list = listeners.list;
  }
  const std::string exception = ExceptionText(event.ExceptionPtr);
  const kestrel_log_event cEvent{sizeof(kestrel_log_event), event.Message.c_str(),
                                 static_cast<kestrel_log_level>(event.Level), event.SenderType.c_str(),
                                 event.ExceptionPtr ? exception.c_str() : nullptr};
  for (const auto& listener : list) {
    // Not logged: the log would hand it to this listener again.
    Gate().Call(listener.generation, [&] {
      try {
        listener.call(listener.userData, &cEvent);
      } catch (...) {
        WriteLine(stderr, "Unknown exception in a diagnostic listener of the C interface");
      }
    });
  }
}

}  // namespace
}  // namespace kestrel

using namespace kestrel;

extern "C" {

const char* kestrel_version(void) {
  static const std::string version = RunLogged(kUnknownException, std::string(), [] { return GetSdkVersion(); });
  return version.c_str();
}

void kestrel_free_string(char* text) {
  std::free(text);
}

kestrel_result kestrel_initialize(const char* app_id, kestrel_window window, kestrel_init_callback callback,
                                  void* user_data) {
  return Run([&] {
    if (Missing("kestrel_initialize", "app_id", app_id)) return KESTREL_ERROR_NULL_ARGUMENT;
    return StartInitialization(app_id, KestrelSdkConfig{}, window, callback, user_data);
  });
}

kestrel_result kestrel_initialize_with_config(const char* app_id, const kestrel_config* config, kestrel_window window,
                                              kestrel_init_callback callback, void* user_data) {
  return Run([&] {
    constexpr const char* fn = "kestrel_initialize_with_config";
    if (Missing(fn, "app_id", app_id) || Missing(fn, "config", config)) return KESTREL_ERROR_NULL_ARGUMENT;
    if (TooSmall(fn, "config", config->size, sizeof(config->size))) return KESTREL_ERROR_INVALID_ARGUMENT;
    KestrelSdkConfig options;
    if (KESTREL_COVERS(config, kestrel_config, config_base_url)) options.ConfigBaseUrl = Text(config->config_base_url);
    auto choice = [](kestrel_choice c) -> std::optional<bool> {
      if (c == KESTREL_CHOICE_UNSET) return std::nullopt;
      return c == KESTREL_CHOICE_YES;
    };
    if (KESTREL_COVERS(config, kestrel_config, coppa_status)) options.CoppaStatus = choice(config->coppa_status);
    if (KESTREL_COVERS(config, kestrel_config, ccpa_status) && config->ccpa_status != KESTREL_CCPA_UNSET) {
      if (!KnownCcpa(config->ccpa_status)) {
        LogError(std::string(fn) + ": config->ccpa_status " + std::to_string(config->ccpa_status) +
                 " is neither KESTREL_CCPA_OPTED_IN nor KESTREL_CCPA_OPTED_OUT.");
        return KESTREL_ERROR_INVALID_ARGUMENT;
      }
      options.CcpaStatus = static_cast<CcpaConsentStatus>(config->ccpa_status);
    }
    if (KESTREL_COVERS(config, kestrel_config, disable_ashwid_tracking))
      options.DisableAshwidTracking = choice(config->disable_ashwid_tracking);
    if (KESTREL_COVERS(config, kestrel_config, load_timeout_ms) && config->load_timeout_ms > 0)
      options.LoadTimeout = std::chrono::milliseconds(config->load_timeout_ms);
    if (KESTREL_COVERS(config, kestrel_config, log_minimum_level))
      options.MinimumLogLevel = static_cast<LogLevel>(config->log_minimum_level);
    if (KESTREL_COVERS(config, kestrel_config, log_to_console))
      options.LogToConsole = config->log_to_console != KESTREL_CHOICE_NO;
    return StartInitialization(app_id, options, window, callback, user_data);
  });
}

kestrel_result kestrel_wait_initialization(uint32_t timeout_ms) {
  return Run([&] {
    std::shared_future<kestrel_result> outcome;
    {
      auto& state = Initialization();
      std::lock_guard lock(state.mutex);
      outcome = state.outcome;
    }
    if (!outcome.valid()) return KESTREL_ERROR_NOT_STARTED;
    // The outcome is told on the callback thread: waiting there would hold it.
    if (CallbackDispatcher::OnDispatcherThread() &&
        outcome.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      LogWarn("kestrel_wait_initialization does not wait inside a callback.");
      return KESTREL_ERROR_TIMEOUT;
    }
    // waits: the C interface's one documented wait, as long as its caller asks
    if (outcome.wait_for(std::chrono::milliseconds(timeout_ms)) != std::future_status::ready)
      return KESTREL_ERROR_TIMEOUT;
    return outcome.get();
  });
}

kestrel_result kestrel_load(const char* placement, kestrel_load_callback callback, void* user_data) {
  return Run([&] {
    if (Missing("kestrel_load", "placement", placement)) return KESTREL_ERROR_NULL_ARGUMENT;
    return StartLoad(callback, user_data, placement,
                     [&](AdLoadCallback callbacks) { return KestrelAds().LoadAd(placement, std::move(callbacks)); });
  });
}

kestrel_result kestrel_load_mediated(const char* placement, const char* ad_markup, kestrel_load_callback callback,
                                     void* user_data) {
  return Run([&] {
    constexpr const char* fn = "kestrel_load_mediated";
    if (Missing(fn, "placement", placement) || Missing(fn, "ad_markup", ad_markup)) return KESTREL_ERROR_NULL_ARGUMENT;
    return StartLoad(callback, user_data, placement, [&](AdLoadCallback callbacks) {
      return KestrelAds().LoadMediatedAd(placement, std::move(callbacks), ad_markup);
    });
  });
}

kestrel_result kestrel_set_load_callback(const char* placement, kestrel_load_callback callback, void* user_data) {
  return Run([&] {
    if (Missing("kestrel_set_load_callback", "placement", placement)) return KESTREL_ERROR_NULL_ARGUMENT;
    AdLoadCallback callbacks;
    if (callback) {
      auto tell = [callback, user_data, generation = Gate().Generation()](AdLoadEventArgs args) {
        TellLoad(generation, callback, user_data, args);
      };
      callbacks = AdLoadCallback{tell, tell};
    }
    KestrelAds::SetLoadCallback(placement, std::move(callbacks));
    return KESTREL_OK;
  });
}

int kestrel_is_playable(const char* placement) {
  return RunLogged(kUnknownException, 0, [&] {
    if (Missing("kestrel_is_playable", "placement", placement)) return 0;
    return KestrelAds().IsAdPlayable(placement) ? 1 : 0;
  });
}

kestrel_result kestrel_play(const char* placement, kestrel_play_callback callback, void* user_data,
                            kestrel_play_info* info) {
  return Run([&] {
    constexpr const char* fn = "kestrel_play";
    if (Missing(fn, "placement", placement) || Missing(fn, "info", info)) return KESTREL_ERROR_NULL_ARGUMENT;
    if (TooSmall(fn, "info", info->size, kPlayInfoMinimum)) return KESTREL_ERROR_INVALID_ARGUMENT;
    return Play(placement, nullptr, nullptr, callback, user_data, info);
  });
}

kestrel_result kestrel_play_with_options(const char* placement, const kestrel_play_options* options,
                                         kestrel_play_callback callback, void* user_data, kestrel_play_info* info) {
  return Run([&] {
    constexpr const char* fn = "kestrel_play_with_options";
    if (Missing(fn, "placement", placement) || Missing(fn, "options", options) || Missing(fn, "info", info))
      return KESTREL_ERROR_NULL_ARGUMENT;
    if (TooSmall(fn, "options", options->size, sizeof(options->size)) ||
        TooSmall(fn, "info", info->size, kPlayInfoMinimum))
      return KESTREL_ERROR_INVALID_ARGUMENT;
    return Play(placement, options, nullptr, callback, user_data, info);
  });
}

kestrel_result kestrel_play_mediated(const char* placement, const char* ad_markup, const kestrel_play_options* options,
                                     kestrel_play_callback callback, void* user_data, kestrel_play_info* info) {
  return Run([&] {
    constexpr const char* fn = "kestrel_play_mediated";
    if (Missing(fn, "placement", placement) || Missing(fn, "ad_markup", ad_markup) ||
        Missing(fn, "options", options) || Missing(fn, "info", info))
      return KESTREL_ERROR_NULL_ARGUMENT;
    if (TooSmall(fn, "options", options->size, sizeof(options->size)) ||
        TooSmall(fn, "info", info->size, kPlayInfoMinimum))
      return KESTREL_ERROR_INVALID_ARGUMENT;
    return Play(placement, options, ad_markup, callback, user_data, info);
  });
}

kestrel_result kestrel_get_mediation_token(const char* argument, char** token) {
  return Run([&] {
    constexpr const char* fn = "kestrel_get_mediation_token";
    if (Missing(fn, "argument", argument) || Missing(fn, "token", token)) return KESTREL_ERROR_NULL_ARGUMENT;
    *token = CopyOut(KestrelAds().GetMediationSuperToken(argument));
    return KESTREL_OK;
  });
}

kestrel_result kestrel_add_diagnostic_listener(kestrel_log_listener listener, void* user_data) {
  return Run([&] {
    if (Missing("kestrel_add_diagnostic_listener", "listener", listener))
      return KESTREL_ERROR_NULL_ARGUMENT;
    auto& listeners = DiagnosticListeners();
    std::lock_guard lock(listeners.mutex);
    listeners.list.push_back(Listener{listener, user_data, Gate().Generation()});
    if (!listeners.hooked) {
      KestrelAds::AddDiagnosticListener(DispatchLogEvent);
      listeners.hooked = true;
    }
    return KESTREL_OK;
  });
}

kestrel_result kestrel_remove_diagnostic_listener(kestrel_log_listener listener, void* user_data) {
  return Run([&] {
    if (Missing("kestrel_remove_diagnostic_listener", "listener", listener))
      return KESTREL_ERROR_NULL_ARGUMENT;
    auto& listeners = DiagnosticListeners();
    std::lock_guard lock(listeners.mutex);
    std::erase_if(listeners.list, [&](const Listener& l) { return l.call == listener && l.userData == user_data; });
    return KESTREL_OK;
  });
}

kestrel_result kestrel_drop_callbacks(void) {
  return Run([] {
    {
      auto& listeners = DiagnosticListeners();
      std::lock_guard lock(listeners.mutex);
      listeners.list.clear();
    }
    Gate().Drop();
    return KESTREL_OK;
  });
}

kestrel_gdpr_status kestrel_get_gdpr_consent_status(void) {
  return static_cast<kestrel_gdpr_status>(KestrelAds::GetGdprConsentStatus());
}

kestrel_result kestrel_set_gdpr_consent_status(kestrel_gdpr_status status, const char* consent_message_version) {
  return Run([&] {
    if (Missing("kestrel_set_gdpr_consent_status", "consent_message_version", consent_message_version))
      return KESTREL_ERROR_NULL_ARGUMENT;
    if (status != KESTREL_GDPR_ACCEPTED && status != KESTREL_GDPR_DENIED) {
      LogError("kestrel_set_gdpr_consent_status: " + std::to_string(status) +
               " is neither KESTREL_GDPR_ACCEPTED nor KESTREL_GDPR_DENIED; nothing stored.");
      return KESTREL_ERROR_INVALID_ARGUMENT;
    }
    KestrelAds::SetGdprConsentStatus(static_cast<GdprConsentStatus>(status), consent_message_version);
    return KESTREL_OK;
  });
}

void kestrel_reset_gdpr_consent_status(void) {
  KestrelAds::ResetGdprConsentStatusToUnknown();
}

kestrel_result kestrel_get_gdpr_consent_message_version(char** version) {
  return Run([&] {
    if (Missing("kestrel_get_gdpr_consent_message_version", "version", version)) return KESTREL_ERROR_NULL_ARGUMENT;
    *version = CopyOut(KestrelAds::GetGdprConsentMessageVersion());
    return KESTREL_OK;
  });
}

kestrel_ccpa_status kestrel_get_ccpa_status(void) {
  return static_cast<kestrel_ccpa_status>(KestrelAds::GetCcpaStatus());
}

kestrel_result kestrel_set_ccpa_status(kestrel_ccpa_status status) {
  return Run([&] {
    if (!KnownCcpa(status)) {
      LogError("kestrel_set_ccpa_status: " + std::to_string(status) +
               " is neither KESTREL_CCPA_OPTED_IN nor KESTREL_CCPA_OPTED_OUT; nothing stored.");
      return KESTREL_ERROR_INVALID_ARGUMENT;
    }
    KestrelAds::SetCcpaStatus(static_cast<CcpaConsentStatus>(status));
    return KESTREL_OK;
  });
}

int kestrel_get_coppa_status(void) {
  return KestrelAds::GetCoppaStatus() ? 1 : 0;
}

void kestrel_set_coppa_status(int status) {
  KestrelAds::SetCoppaStatus(status != 0);
}

int kestrel_get_disable_ashwid(void) {
  return KestrelAds::GetDisableASHWID() ? 1 : 0;
}

void kestrel_set_disable_ashwid_tracking(int disable) {
  KestrelAds::SetDisableAshwidTracking(disable != 0);
}

kestrel_result kestrel_test_device_info(kestrel_window window, const char* app_id) {
  return Run([&] {
    if (Missing("kestrel_test_device_info", "app_id", app_id)) return KESTREL_ERROR_NULL_ARGUMENT;
    TestDeviceInfo(static_cast<WindowHandle>(window), app_id);
    return KESTREL_OK;
  });
}

}  // extern "C"
