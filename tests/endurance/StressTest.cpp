// Sixteen threads call every public operation at once for a while (30 s, or
// KESTREL_STRESS_SECONDS) against the local ad server, while this thread plays
// the publisher's GTK thread and plays whatever is loaded. Nothing may crash or
// hang (a watchdog aborts the program), and settings.ke must afterwards be
// whole and hold the last value each setter wrote.
//
// Under ThreadSanitizer nothing is played: the web engine is not instrumented
// (tests/sanitizers/tsan.supp), so the play path runs in the other builds only.

#include <gtk/gtk.h>

#include "support/TestPrelude.h"

#include <random>

#include "LocalAdServer.h"
#include "display/DisplayOverlayAdView.h"
#include "kestrel/KestrelAds.h"
#include "platform/Backend.h"
#include "sdk/SdkState.h"
#include "support/GtkPump.h"

namespace kestrel::test {
namespace {

#if defined(__SANITIZE_THREAD__)
constexpr bool kPlays = false;
#else
constexpr bool kPlays = true;
#endif

constexpr int kThreads = 16;
// The watchdog aborts when the run has not ended this long after its planned end.
constexpr std::chrono::seconds kWatchdogGrace{90};

std::chrono::seconds Duration() {
  const char* text = std::getenv("KESTREL_STRESS_SECONDS");
  const int seconds = text ? std::atoi(text) : 0;
  return std::chrono::seconds(seconds > 0 ? seconds : 30);
}

std::atomic<int> g_listenerCalls{0};
void CountingListener(DiagnosticLogEvent) {
  g_listenerCalls.fetch_add(1, std::memory_order_relaxed);
}

// The last value each setter wrote, as settings.ke must hold it. Every setter
// call runs under this lock, so the order here is the SDK's order.
struct LastWrites {
  std::mutex mutex;
  std::map<std::string, std::string> values;  // settings.ke key → value
};

// Aborts the program unless Done() is called in time: a deadlock must fail the test, not hang it.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::steady_clock::duration limit)
      : m_thread([this, limit] {
          std::unique_lock lock(m_mutex);
          if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
            std::fprintf(stderr, "stress: watchdog: the run did not end in time, a deadlock\n");
            std::abort();
          }
        }) {}
  ~Watchdog() { Done(); }
  void Done() {
    {
      std::lock_guard lock(m_mutex);
      m_finished = true;
    }
    m_done.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  std::thread m_thread;
};

TEST(StressTest, SixteenThreadsCallEveryOperation) {
  ScopedDataHome dataHome;
  SdkState::Reset();
  setenv("NO_AT_BRIDGE", "1", 1);
  GtkWidget* window = nullptr;
  if (kPlays) {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
    gtk_widget_show(window);
    ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(window); }));
  }
  auto options = adserver::LocalAdServer::QuietOptions();
  options.countdownSeconds = 0;
  adserver::LocalAdServer server(options);
  server.Start();

  const auto duration = Duration();
  Watchdog watchdog(duration + kWatchdogGrace);

  KestrelSdkConfig config;
  config.ConfigBaseUrl = server.BaseUrl();
  std::atomic<bool> initialized{false};
  auto future = KestrelAds::InitializeAsync(
      "stress-app", config, window, {[&](InitializationSuccessEventArgs) { initialized = true; }, {}});
  ASSERT_TRUE(PumpUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  KestrelAds* ads = future.get();
  ASSERT_TRUE(ads && initialized);

  HttpExchange exchange{"GET", server.BaseUrl() + "/hb/markup?placement=hb_banner", "stress", {}, {}, {}};
  const std::string markup = CreateHttpClient()->Exchange(exchange).body;
  ASSERT_FALSE(markup.empty());

  LastWrites last;
  std::atomic<int> loadCallbacks{0}, loadSuccesses{0}, calls{0};
  std::atomic<bool> stop{false};
  auto worker = [&](int index) {
    std::mt19937 random(static_cast<unsigned>(index));
    KestrelAds sdk;  // any instance reaches the same SDK
    AdLoadCallback load{[&](AdLoadEventArgs) { ++loadCallbacks, ++loadSuccesses; },
                        [&](AdLoadEventArgs) { ++loadCallbacks; }};
    auto write = [&](auto&& call, std::initializer_list<std::pair<const char*, std::string>> values) {
      std::lock_guard lock(last.mutex);
      call();
      for (const auto& [key, value] : values) last.values[key] = value;
    };
    for (int n = 0; !stop.load(); ++n) {
      const bool flag = random() % 2 == 0;
      switch (random() % 12) {
        case 0: sdk.LoadAd(flag ? "interstitial" : "rewarded_video", load); break;
        case 1: sdk.LoadMediatedAd("hb_banner", load, markup); break;
        case 2: sdk.IsAdPlayable(flag ? "interstitial" : "hb_banner"); break;
        case 3: EXPECT_FALSE(sdk.GetMediationSuperToken("").empty()); break;
        case 4:
          KestrelAds::GetGdprConsentStatus();
          KestrelAds::GetGdprConsentMessageVersion();
          KestrelAds::GetCcpaStatus();
          KestrelAds::GetCoppaStatus();
          KestrelAds::GetDisableASHWID();
          break;
        case 5: {
          const std::string version = "v" + std::to_string(index) + "." + std::to_string(n);
          write([&] { KestrelAds::SetGdprConsentStatus(flag ? GdprConsentStatus::Accepted : GdprConsentStatus::Denied, version); },
                {{"GdprConsentStatus", flag ? "1" : "2"}, {"GdprConsentMessageVersion", version}});
          break;
        }
        case 6:
          write([] { KestrelAds::ResetGdprConsentStatusToUnknown(); },
                {{"GdprConsentStatus", "0"}, {"GdprConsentMessageVersion", ""}});
          break;
        case 7:
          write([&] { KestrelAds::SetCcpaStatus(flag ? CcpaConsentStatus::OptedIn : CcpaConsentStatus::OptedOut); },
                {{"CcpaInternalConsentStatus", flag ? "1" : "2"}});
          break;
        case 8:
          write([&] { KestrelAds::SetCoppaStatus(flag); }, {{"CoppaConsentStatus", flag ? "true" : "false"}});
          break;
        case 9:
          write([&] { KestrelAds::SetDisableAshwidTracking(flag); },
                {{"PublisherDisableAshwidTracking", flag ? "true" : "false"}});
          break;
        case 10: KestrelAds::AddDiagnosticListener(CountingListener); break;
        case 11: KestrelAds::RemoveDiagnosticListener(CountingListener); break;
      }
      ++calls;
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back(worker, i);

  // This thread is the publisher's: it plays whatever is loaded and closes it with the creative's close button.
  int plays = 0, ends = 0, playFailures = 0;
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    if (!kPlays) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    Pump();
    for (const char* placement : {"interstitial", "rewarded_video"}) {
      if (!ads->IsAdPlayable(placement)) continue;
      int ended = 0;
      AdPlayCallback play;
      play.OnAdEnd = [&](AdPlayEventArgs) { ++ended; };
      play.OnAdPlayFailure = [&](AdPlayEventArgs) { ++ended, ++playFailures; };
      const std::size_t impressions = server.Requests("/tpat/impression").size();
      if (!ads->PlayAd(placement, play).Success) continue;
      ++plays;
      PumpUntil([&] { return ended > 0 || server.Requests("/tpat/impression").size() > impressions; });
      if (auto view = DisplayOverlayAdView::Current()) {
        view->ExecuteScript("document.getElementById('close').click(); true", [](int, const std::string&) {});
      }
      EXPECT_TRUE(PumpUntil([&] { return ended > 0; })) << placement << " never ended";
      ends += ended;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  stop = true;
  for (auto& thread : threads) thread.join();
  KestrelAds::RemoveDiagnosticListener(CountingListener);
  watchdog.Done();

  std::printf("stress: %d calls, %d load callbacks (%d successes), %d plays, %d listener calls\n", calls.load(),
              loadCallbacks.load(), loadSuccesses.load(), plays, g_listenerCalls.load());
  EXPECT_GT(loadSuccesses.load(), 0);
  if (kPlays) {
    EXPECT_GT(plays, 0);
    EXPECT_EQ(ends, plays);
  }

  // Whole: every line is KEY=VALUE and ends with a line feed, no key twice.
  fs::path settings;
  for (const auto& entry : fs::recursive_directory_iterator(dataHome.Path())) {
    if (entry.path().filename() == "settings.ke") settings = entry.path();
  }
  const std::string text = ReadFile(settings);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::map<std::string, std::string> stored;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    ASSERT_NE(equals, std::string::npos) << line;
    EXPECT_TRUE(stored.emplace(line.substr(0, equals), line.substr(equals + 1)).second) << line;
  }
  std::lock_guard lock(last.mutex);
  ASSERT_FALSE(last.values.empty());
  for (const auto& [key, value] : last.values) {
    EXPECT_EQ(stored[key], value) << key;
  }

  SdkState::Reset();
  if (window) gtk_widget_destroy(window);
  if (kPlays) Pump();
  server.Stop();
}

}  // namespace
}  // namespace kestrel::test
