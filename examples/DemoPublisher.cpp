// A small publisher application driving the Kestrel SDK through its public header only.
//
//   kestrel-demo [CONFIG_BASE_URL [RECORD_FILE]]
//
// Without arguments it shows what the SDK does before initialisation. With
// the base URL of an ad server (the local one prints it at start) it also
// initialises, loads an ad and changes the privacy choices; RECORD_FILE is the
// local ad server's --record file, read to show what the SDK sent.
#include <kestrel/KestrelAds.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

using namespace kestrel;

std::mutex g_eventsMutex;
std::vector<std::string> g_events;

void OnDiagnostic(DiagnosticLogEvent event) {
  std::lock_guard lock(g_eventsMutex);
  g_events.push_back(event.Message);
}

void Section(const char* title) {
  std::printf("\n== %s ==\n", title);
  std::fflush(stdout);
}

const char* YesNo(bool value) {
  return value ? "true" : "false";
}

const char* CcpaName(CcpaConsentStatus status) {
  return status == CcpaConsentStatus::OptedOut ? "Opted Out" : "Opted In";
}

// The last request the local ad server recorded for `path`, or null.
nlohmann::json LastRecorded(const std::string& recordFile, const std::string& path) {
  std::ifstream in(recordFile);
  nlohmann::json last;
  for (std::string line; std::getline(in, line);) {
    auto entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_object() && entry.value("path", "") == path) last = std::move(entry);
  }
  return last;
}

void ShowRecorded(const std::string& recordFile, const std::string& path, const char* member) {
  if (recordFile.empty()) return;
  const nlohmann::json request = LastRecorded(recordFile, path);
  if (request.is_null()) {
    std::printf("The ad server recorded no %s request.\n", path.c_str());
    return;
  }
  const nlohmann::json& body = request["json"];
  std::printf("The SDK's last %s request (\"%s\" of its body):\n%s\n", path.c_str(), member,
              body.contains(member) ? body[member].dump(2).c_str() : "(absent)");
}

// Waits for one load callback; the SDK calls it on one of its threads.
class LoadWaiter {
 public:
  AdLoadCallback Callback() {
    auto handler = [this](AdLoadEventArgs args) {
      std::lock_guard lock(m_mutex);
      m_result = std::move(args);
      m_done = true;
      m_changed.notify_all();
    };
    return AdLoadCallback{handler, handler};
  }
  bool Wait(AdLoadEventArgs& result) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, std::chrono::minutes(2), [this] { return m_done; })) return false;
    result = m_result;
    return true;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_done = false;
  AdLoadEventArgs m_result;
};

void BeforeInitialisation() {
  Section("Before initialisation");
  KestrelAds ads;
  std::printf("LoadAd -> %s\n", YesNo(ads.LoadAd("rewarded_video", {})));
  std::printf("IsAdPlayable -> %s\n", YesNo(ads.IsAdPlayable("rewarded_video")));
  AdPlayCallback play;
  play.OnAdPlayFailure = [](AdPlayEventArgs args) {
    std::printf("OnAdPlayFailure(%s): %s\n", args.PlacementId.c_str(), args.Message.c_str());
  };
  KestrelAdPlayInfo info = ads.PlayAd("rewarded_video", play);
  std::printf("PlayAd -> success %s, message \"%s\"\n", YesNo(info.Success), info.Message.c_str());
  std::printf("GetMediationSuperToken -> \"%s\"\n", ads.GetMediationSuperToken("").c_str());

  Section("Privacy choices before initialisation");
  // Each run reads what the run before it stored, then stores the other choice.
  const CcpaConsentStatus stored = KestrelAds::GetCcpaStatus();
  const bool optedOut = stored == CcpaConsentStatus::OptedOut;
  std::printf("Stored by an earlier run: CCPA %s, COPPA %s\n", CcpaName(stored), YesNo(KestrelAds::GetCoppaStatus()));
  const CcpaConsentStatus next = optedOut ? CcpaConsentStatus::OptedIn : CcpaConsentStatus::OptedOut;
  KestrelAds::SetCcpaStatus(next);
  KestrelAds::SetCoppaStatus(!optedOut);
  std::printf("Stored for the next run: CCPA %s, COPPA %s\n", CcpaName(next), YesNo(!optedOut));
}

KestrelAds* Initialise(const std::string& baseUrl) {
  Section("Initialisation");
  KestrelSdkConfig config;
  config.ConfigBaseUrl = baseUrl;
  InitializationCallback callback;
  callback.OnInitializationSuccess = [](InitializationSuccessEventArgs args) {
    std::printf("OnInitializationSuccess: %zu placements\n", args.Placements.size());
    for (const auto& p : args.Placements) {
      std::printf("  %-16s auto-cached %-5s incentivized %-5s header bidding %-5s max hb cache %d\n",
                  p.ReferenceId.c_str(), YesNo(p.IsAutoCached), YesNo(p.IsIncentivized), YesNo(p.HeaderBidding),
                  p.MaxHbCache);
    }
  };
  callback.OnInitializationFailure = [](InitializationFailureEventArgs args) {
    std::printf("OnInitializationFailure: %s\n", args.Message.c_str());
  };
  return KestrelAds::InitializeAsync("kestrel-demo", config, nullptr, callback).get();
}

void Load(KestrelAds& ads, const std::string& placement) {
  Section(("Loading " + placement).c_str());
  LoadWaiter waiter;
  if (!ads.LoadAd(placement, waiter.Callback())) {
    std::printf("LoadAd refused the request.\n");
    return;
  }
  AdLoadEventArgs result;
  if (!waiter.Wait(result)) {
    std::printf("No load callback within two minutes.\n");
    return;
  }
  std::printf("%s(%s): count %d%s%s\n", result.Success ? "OnAdLoadSuccess" : "OnAdLoadFailure",
              result.PlacementId.c_str(), result.Count, result.Message.empty() ? "" : ", ", result.Message.c_str());
  std::printf("IsAdPlayable(%s) -> %s\n", placement.c_str(), YesNo(ads.IsAdPlayable(placement)));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string baseUrl = argc > 1 ? argv[1] : "";
  const std::string recordFile = argc > 2 ? argv[2] : "";
  KestrelAds::AddDiagnosticListener(OnDiagnostic);

  BeforeInitialisation();

  if (!baseUrl.empty()) {
    Section("Device report");
    TestDeviceInfo(nullptr, "kestrel-demo");

    KestrelAds* ads = Initialise(baseUrl);
    if (!ads) {
      std::printf("InitializeAsync gave no instance.\n");
      return 1;
    }
    ShowRecorded(recordFile, "/config", "app");

    Load(*ads, "rewarded_video");
    Load(*ads, "no_such_placement");

    Section("Privacy choices after initialisation");
    KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Denied, "1.0.0");
    KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
    std::printf("GDPR %s (message version \"%s\"), CCPA %s, COPPA %s\n",
                KestrelAds::GetGdprConsentStatus() == GdprConsentStatus::Denied ? "Denied" : "Accepted",
                KestrelAds::GetGdprConsentMessageVersion().c_str(), CcpaName(KestrelAds::GetCcpaStatus()),
                YesNo(KestrelAds::GetCoppaStatus()));
    Load(*ads, "interstitial");
    ShowRecorded(recordFile, "/ads", "user");
  }

  Section("Diagnostic events the listener received");
  {
    std::lock_guard lock(g_eventsMutex);
    std::printf("%zu events", g_events.size());
    if (!g_events.empty()) std::printf(", the last: %s", g_events.back().c_str());
    std::printf("\n");
  }
  KestrelAds::RemoveDiagnosticListener(OnDiagnostic);
  return 0;
}
