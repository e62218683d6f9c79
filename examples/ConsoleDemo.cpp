#include "ConsoleDemo.h"

#include <curl/curl.h>
#include <kestrel/KestrelAds.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "RecordedRequests.h"

namespace kestrel::demo {

namespace {

const char* const kAppId = "kestrel-demo";

std::mutex g_eventsMutex;
std::vector<std::string> g_events;  // guarded by g_eventsMutex

// A plain function, so that RemoveDiagnosticListener finds it again.
void OnDiagnostic(DiagnosticLogEvent event) {
  std::lock_guard lock(g_eventsMutex);
  g_events.push_back(event.Message);
}

void Section(const std::string& title) {
  std::printf("\n== %s ==\n", title.c_str());
  std::fflush(stdout);
}

const char* YesNo(bool value) {
  return value ? "true" : "false";
}

const char* CcpaName(CcpaConsentStatus status) {
  return status == CcpaConsentStatus::OptedOut ? "Opted Out" : "Opted In";
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
  bool m_done = false;       // guarded by m_mutex
  AdLoadEventArgs m_result;  // guarded by m_mutex
};

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
  return KestrelAds::InitializeAsync(kAppId, config, nullptr, callback).get();
}

void Load(KestrelAds& ads, const std::string& placement) {
  Section("Loading " + placement);
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

// The bid markup the local ad server hands a mediation layer for a placement; empty on failure.
std::string FetchBidMarkup(const std::string& baseUrl, const std::string& placement) {
  std::string body;
  CURL* curl = curl_easy_init();
  if (!curl) return body;
  const std::string url = baseUrl + "/hb/markup?placement=" + placement;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, std::size_t size, std::size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
  });
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  const bool ok = curl_easy_perform(curl) == CURLE_OK;
  curl_easy_cleanup(curl);
  return ok ? body : std::string();
}

}  // namespace

void ConsoleDemo::BeforeInitialisation() {
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
  const CcpaConsentStatus stored = KestrelAds::GetCcpaStatus();
  const bool optedOut = stored == CcpaConsentStatus::OptedOut;
  std::printf("Stored by an earlier run: CCPA %s, COPPA %s\n", CcpaName(stored), YesNo(KestrelAds::GetCoppaStatus()));
  const CcpaConsentStatus next = optedOut ? CcpaConsentStatus::OptedIn : CcpaConsentStatus::OptedOut;
  KestrelAds::SetCcpaStatus(next);
  KestrelAds::SetCoppaStatus(!optedOut);
  std::printf("Stored for the next run: CCPA %s, COPPA %s\n", CcpaName(next), YesNo(!optedOut));
  std::fflush(stdout);
}

int ConsoleDemo::Tour(const std::string& baseUrl, const std::string& recordFile) {
  KestrelAds::AddDiagnosticListener(OnDiagnostic);
  const RecordedRequests recorded(recordFile);

  Section("Device report");
  TestDeviceInfo(nullptr, kAppId);

  KestrelAds* ads = Initialise(baseUrl);
  if (!ads) {
    std::printf("InitializeAsync gave no instance.\n");
    KestrelAds::RemoveDiagnosticListener(OnDiagnostic);
    return 1;
  }
  recorded.ShowLastRequest("/config");

  Load(*ads, "rewarded_video");
  Load(*ads, "no_such_placement");

  Section("Header bidding");
  const std::string token = ads->GetMediationSuperToken("");
  std::printf("GetMediationSuperToken -> %.48s... (%zu characters)\n", token.c_str(), token.size());
  // A mediation layer would get the markup of a won bid; the local ad server hands one out.
  const std::string markup = FetchBidMarkup(baseUrl, "hb_banner");
  std::printf("Bid markup from the ad server: %zu characters\n", markup.size());
  LoadWaiter bidWaiter;
  AdLoadEventArgs bidResult;
  if (!ads->LoadMediatedAd("hb_banner", bidWaiter.Callback(), markup)) {
    std::printf("LoadMediatedAd refused the markup.\n");
  } else if (bidWaiter.Wait(bidResult)) {
    std::printf("%s(%s): count %d%s%s\n", bidResult.Success ? "OnAdLoadSuccess" : "OnAdLoadFailure",
                bidResult.PlacementId.c_str(), bidResult.Count, bidResult.Message.empty() ? "" : ", ",
                bidResult.Message.c_str());
  } else {
    std::printf("No load callback for hb_banner within two minutes.\n");
  }

  Section("Privacy choices after initialisation");
  KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Denied, "1.0.0");
  KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
  std::printf("GDPR %s (message version \"%s\"), CCPA %s, COPPA %s\n",
              KestrelAds::GetGdprConsentStatus() == GdprConsentStatus::Denied ? "Denied" : "Accepted",
              KestrelAds::GetGdprConsentMessageVersion().c_str(), CcpaName(KestrelAds::GetCcpaStatus()),
              YesNo(KestrelAds::GetCoppaStatus()));
  Load(*ads, "interstitial");
  recorded.ShowLastBodyMember("/ads", "user");

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

}  // namespace kestrel::demo
