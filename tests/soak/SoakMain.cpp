// Soak: one process initialises the SDK once, then runs load → play → close
// cycles against the local ad server, through the real overlay and web view,
// taking the placements in turn (the header-bidding one through its markup).
// Every kSampleEvery cycles it records the process's open descriptors,
// threads, resident memory, heap in use and GTK windows, and the size of the
// SDK's data folder. It fails
// when a cycle misses a callback, or when after kSettleCycles any figure
// rises above its value then by more than its margin.
//
//   kestrel_soak [--cycles N]     (default 1000; under Xvfb when there is no display)

#include <gtk/gtk.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "LocalAdServer.h"
#include "display/DisplayOverlayAdView.h"
#include "kestrel/KestrelAds.h"
#include "platform/Backend.h"
#include "support/GtkPump.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::PumpUntil;

constexpr int kSampleEvery = 50;
constexpr int kSettleCycles = 100;  // caches and pools fill up during these
// How far a figure may rise above its value at kSettleCycles.
constexpr long kFdMargin = 4;
constexpr long kThreadMargin = 4;
constexpr long kRssMarginKiB = 8 * 1024;
constexpr long kDataMarginKiB = 64;

struct Sample {
  int cycle = 0;
  double seconds = 0;
  long fds = 0;
  long threads = 0;
  long rssKiB = 0;
  long heapKiB = 0;  // in use by malloc
  long windows = 0;  // GTK toplevels
  long dataKiB = 0;
};

long CountEntries(const char* folder) {
  std::error_code ec;
  long count = 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++count;
  return count;
}

long RssKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long FolderKiB(const fs::path& folder) {
  std::error_code ec;
  std::uintmax_t bytes = 0;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) bytes += it->file_size(ec);
  }
  return static_cast<long>(bytes / 1024);
}

// The creative's own close button, as the user would press it.
bool ClickClose() {
  auto view = DisplayOverlayAdView::Current();
  if (!view) return false;
  bool done = false;
  int error = -1;
  view->ExecuteScript("document.getElementById('close').click(); true", [&](int code, const std::string&) {
    error = code;
    done = true;
  });
  return PumpUntil([&] { return done; }) && error == 0;
}

class Soak {
 public:
  explicit Soak(int cycles) : m_cycles(cycles) {}

  int Run() {
    setenv("NO_AT_BRIDGE", "1", 1);
    if (!gtk_init_check(nullptr, nullptr)) return Fail("no display");
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(m_window), 640, 480);
    gtk_widget_show(m_window);
    if (!PumpUntil([&] { return gtk_widget_get_mapped(m_window); })) return Fail("the window was not mapped");

    auto options = adserver::LocalAdServer::QuietOptions();
    options.countdownSeconds = 0;  // the view counts at once, so a rewarded ad may close at once
    m_server = std::make_unique<adserver::LocalAdServer>(options);
    m_server->Start();
    // The two placements of their own are auto-cached: the SDK loads the next ad after each play.
    auto doc = m_server->ConfigDocument();
    for (auto& placement : doc["placements"]) placement["is_auto_cached"] = !placement["header_bidding"].get<bool>();
    m_server->SetFault(adserver::Fault::Body(adserver::FaultRoute::Config, doc.dump()));
    if (!Initialize()) return Fail("initialisation failed");

    // The SDK logs to standard output too; every line of the soak's own starts with "soak".
    std::printf("soak %-7s %-9s %-5s %-8s %-9s %-9s %-8s %-9s\n", "cycle", "seconds", "fds", "threads", "RSS KiB",
                "heap KiB", "windows", "data KiB");
    m_start = std::chrono::steady_clock::now();
    for (int cycle = 1; cycle <= m_cycles; ++cycle) {
      if (!RunCycle(cycle)) return 1;
      if (cycle % kSampleEvery == 0) Record(cycle);
    }
    m_adRequests += m_server->Requests("/ads").size();
    // One /ads request after initialisation and one after each play of an auto-cached placement, no more.
    std::printf("soak: %zu /ads requests for %d plays of auto-cached placements\n", m_adRequests, m_autoPlays);
    if (m_adRequests > static_cast<std::size_t>(m_autoPlays) + 2) return Fail("the SDK loaded more than it played");
    return Judge();
  }

 private:
  int Fail(const std::string& why) {
    std::printf("soak: %s\n", why.c_str());
    return 1;
  }

  bool Initialize() {
    KestrelSdkConfig config;
    config.ConfigBaseUrl = m_server->BaseUrl();
    bool initialized = false;
    InitializationCallback callback{[&](InitializationSuccessEventArgs) { initialized = true; }, {}};
    auto future = KestrelAds::InitializeAsync("soak-app", config, m_window, callback);
    if (!PumpUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; })) {
      return false;
    }
    m_ads = future.get();
    return m_ads && initialized;
  }

  std::string FetchMarkup() {
    HttpExchange exchange;
    exchange.verb = "GET";
    exchange.url = m_server->BaseUrl() + "/hb/markup?placement=hb_banner";
    exchange.agent = "soak";
    return CreateHttpClient()->Exchange(exchange).body;
  }

  // One load → play → close; false (with the reason on standard error) when a callback is missing.
  bool RunCycle(int cycle) {
    static const char* const kPlacements[] = {"rewarded_video", "interstitial", "hb_banner"};
    const std::string placement = kPlacements[cycle % 3];
    const bool headerBidding = placement == "hb_banner";
    const bool rewarded = placement == "rewarded_video";
    auto why = [&](const std::string& text) {
      std::printf("soak: cycle %d (%s): %s\n", cycle, placement.c_str(), text.c_str());
      return false;
    };
    m_adRequests += m_server->Requests("/ads").size();
    m_server->Reset();  // its request log would grow with the run

    // Auto-cached: the SDK has loaded it by itself, after initialisation or after its last play.
    if (!headerBidding && !PumpUntil([&] { return m_ads->IsAdPlayable(placement); })) {
      return why("the SDK did not load the next ad by itself");
    }
    int loaded = 0, failed = 0;
    AdLoadCallback load{[&](AdLoadEventArgs) { ++loaded; }, [&](AdLoadEventArgs) { ++failed; }};
    const std::string markup = headerBidding ? FetchMarkup() : std::string();
    const bool started = headerBidding ? m_ads->LoadMediatedAd(placement, load, markup) : m_ads->LoadAd(placement, load);
    if (!started || !PumpUntil([&] { return loaded + failed > 0; })) return why("no load callback");
    if (loaded != 1 || failed != 0) return why("the load failed");

    int start = 0, end = 0, rewardedCount = 0, failure = 0;
    AdPlayCallback play;
    play.OnAdStart = [&](AdPlayEventArgs) { ++start; };
    play.OnAdEnd = [&](AdPlayEventArgs) { ++end; };
    play.OnAdRewarded = [&](AdPlayEventArgs) { ++rewardedCount; };
    play.OnAdPlayFailure = [&](AdPlayEventArgs) { ++failure; };
    const KestrelAdPlayInfo info = headerBidding ? m_ads->PlayMediatedAd(AdConfig{}, placement, play, markup)
                                                 : m_ads->PlayAd(placement, play);
    if (!info.Success || start != 1) return why("the play did not start: " + info.Message);
    // The creative has started (and, counting nothing, been viewed) once it reports its impression.
    if (!PumpUntil([&] { return !m_server->Requests("/tpat/impression").empty() || failure > 0; })) {
      return why("no impression");
    }
    if (!ClickClose()) return why("the close button could not be pressed");
    if (!PumpUntil([&] { return end + failure > 0; })) return why("no OnAdEnd");
    if (end != 1 || failure != 0) return why("the play failed");
    if (rewarded && rewardedCount != 1) return why("no OnAdRewarded");
    if (!headerBidding) ++m_autoPlays;
    return true;
  }

  void Record(int cycle) {
    Sample s;
    s.cycle = cycle;
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    // Exchanges and tracking hits run on short-lived threads: the fewest seen
    // over a moment, pumping, is what the process keeps.
    s.fds = s.threads = std::numeric_limits<long>::max();
    for (int i = 0; i < 20; ++i) {
      s.fds = std::min(s.fds, CountEntries("/proc/self/fd"));
      s.threads = std::min(s.threads, CountEntries("/proc/self/task"));
      PumpUntil([] { return false; }, std::chrono::milliseconds(10));
    }
    s.rssKiB = RssKiB();
    s.heapKiB = static_cast<long>(mallinfo2().uordblks / 1024);
    GList* toplevels = gtk_window_list_toplevels();
    s.windows = g_list_length(toplevels);
    g_list_free(toplevels);
    s.dataKiB = FolderKiB(m_dataHome.Path());
    m_samples.push_back(s);
    std::printf("soak %-7d %-9.1f %-5ld %-8ld %-9ld %-9ld %-8ld %-9ld\n", s.cycle, s.seconds, s.fds, s.threads, s.rssKiB,
                s.heapKiB, s.windows, s.dataKiB);
    std::fflush(stdout);
  }

  int Judge() {
    auto base = std::find_if(m_samples.begin(), m_samples.end(), [](const Sample& s) { return s.cycle >= kSettleCycles; });
    if (base == m_samples.end()) {
      std::printf("soak: %d cycles, every one with its callbacks (too short to judge growth)\n", m_cycles);
      return 0;
    }
    bool flat = true;
    auto check = [&](const char* name, long Sample::*figure, long margin) {
      long highest = (*base).*figure;
      for (auto it = base; it != m_samples.end(); ++it) highest = std::max(highest, (*it).*figure);
      const bool ok = highest - (*base).*figure <= margin;
      std::printf("soak %-9s at cycle %d: %ld, highest after: %ld, margin %ld: %s\n", name, base->cycle, (*base).*figure,
                  highest, margin, ok ? "ok" : "GROWS");
      flat = flat && ok;
    };
    check("fds", &Sample::fds, kFdMargin);
    check("threads", &Sample::threads, kThreadMargin);
    check("RSS KiB", &Sample::rssKiB, kRssMarginKiB);
    check("heap KiB", &Sample::heapKiB, kRssMarginKiB);
    check("data KiB", &Sample::dataKiB, kDataMarginKiB);
    std::printf("soak: %d cycles, every one with its callbacks; %s\n", m_cycles, flat ? "flat" : "a figure grows");
    return flat ? 0 : 1;
  }

  int m_cycles;
  test::ScopedDataHome m_dataHome;  // before the SDK reads it
  GtkWidget* m_window = nullptr;
  std::unique_ptr<adserver::LocalAdServer> m_server;
  KestrelAds* m_ads = nullptr;
  std::size_t m_adRequests = 0;  // /ads requests the server saw
  int m_autoPlays = 0;
  std::chrono::steady_clock::time_point m_start;
  std::vector<Sample> m_samples;
};

}  // namespace
}  // namespace kestrel

int main(int argc, char** argv) {
  int cycles = 1000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--cycles") cycles = std::max(1, std::atoi(argv[i + 1]));
  }
  // The SDK's process-wide state lives until exit, as in a publisher's application.
  return kestrel::Soak(cycles).Run();
}
