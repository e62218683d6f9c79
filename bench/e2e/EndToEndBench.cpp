// End-to-end figures of the SDK against the local ad server in this process,
// each beside a baseline measured in the same run on the same server:
//   init   InitializeAsync to OnInitializationSuccess / one libcurl POST of the same /config body
//   load   LoadAd to OnAdLoadSuccess / libcurl downloads of the same parts and a libzip unpack
//   memory peak resident memory that initialising and loading 5 placements adds (child process)
//   play   PlayAd to the creative's start, the process's first and later ones / a bare
//          WebKitWebView on the same index.html
//   engine memory  resident memory of the SDK's process and of the web engine's processes
//          before initialisation, with an ad ready, during a play and a minute after it (child process)
// With --network, the network table instead: init and loads through a
// simulated network (tools/netsim) at each round trip, beside the least the
// network allows and a libcurl client with kept-alive connections and parallel parts.
// With --https as well, the network table over TLS (run it under tests/support/with-test-ca.sh).
// Usage: kestrel_e2e_bench [--runs N] [--smoke] [--network RTT_MS,... [--https]]
//   --smoke  one run each, no 20 MB bundle: proves the program and its checks still work.

#include <gtk/gtk.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "LocalAdServer.h"
#include "NetSim.h"
#include "common/QuietOutput.h"
#include "display/DisplayOverlayAdView.h"
#include "display/WebEngineKeeper.h"
#include "e2e/BareWebView.h"
#include "e2e/Baseline.h"
#include "e2e/MainLoop.h"
#include "kestrel/KestrelAds.h"
#include "platform/PlatformServices.h"
#include "sdk/SdkState.h"
#include "support/EngineProcesses.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace kestrel::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr auto kDeadline = std::chrono::seconds(120);

double MsBetween(Clock::time_point start, Clock::time_point end) {
  return Millis(end - start).count();
}

struct Summary {
  double median = 0;
  double min = 0;
  double max = 0;
};

Summary Summarise(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

// One line of the results table.
struct Figure {
  std::string name;
  std::string unit;
  std::vector<double> sdk;
  std::vector<double> baseline;  // empty: an absolute target
  double target = 0;             // the ratio (or the absolute value) to stay at or under
};

std::string Cell(const Summary& s, int precision) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(precision) << s.median << " (" << s.min << "-" << s.max << ")";
  return out.str();
}

void PrintTable(std::ostream& out, const std::vector<Figure>& figures) {
  out << std::left << std::setw(22) << "figure" << std::setw(6) << "runs" << std::setw(30) << "SDK median (min-max)"
      << std::setw(30) << "baseline median (min-max)" << std::setw(8) << "ratio" << std::setw(10) << "target"
      << "result\n";
  for (const Figure& f : figures) {
    const Summary sdk = Summarise(f.sdk);
    const bool ratio = !f.baseline.empty();
    const Summary base = Summarise(f.baseline);
    const double value = ratio ? sdk.median / base.median : sdk.median;
    std::ostringstream ratioText, targetText;
    ratioText << std::fixed << std::setprecision(2) << (ratio ? value : 0.0);
    targetText << (ratio ? "<= " : "< ") << std::fixed << std::setprecision(1) << f.target << (ratio ? "x" : " MB");
    const bool pass = ratio ? value <= f.target : value < f.target;
    out << std::left << std::setw(22) << f.name << std::setw(6) << f.sdk.size() << std::setw(30)
        << (Cell(sdk, 1) + " " + f.unit) << std::setw(30) << (ratio ? Cell(base, 1) + " " + f.unit : std::string("-"))
        << std::setw(8) << (ratio ? ratioText.str() : std::string("-")) << std::setw(10) << targetText.str()
        << (pass ? "PASS" : "MISS") << "\n";
  }
  out.flush();
}

// ---- the SDK through its public interface ----

// Initialises a fresh SDK state against the server; times InitializeAsync to OnInitializationSuccess.
struct InitResult {
  KestrelAds* ads = nullptr;
  double ms = 0;
};

InitResult Initialize(const std::string& baseUrl, WindowHandle window, bool pumpGtk) {
  SdkState::Reset();
  KestrelSdkConfig config;
  config.ConfigBaseUrl = baseUrl;
  auto succeeded = std::make_shared<std::atomic<Clock::rep>>(0);
  InitializationCallback callback;
  callback.OnInitializationSuccess = [succeeded](InitializationSuccessEventArgs) {
    succeeded->store(Clock::now().time_since_epoch().count());
  };
  const auto start = Clock::now();
  auto future = KestrelAds::InitializeAsync("bench-app", config, window, callback);
  if (pumpGtk)
    PumpUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, kDeadline);
  InitResult result;
  result.ads = future.get();
  if (!result.ads || succeeded->load() == 0) throw std::runtime_error("the SDK did not initialise");
  result.ms = MsBetween(start, Clock::time_point(Clock::duration(succeeded->load())));
  return result;
}

// Loads the placement; times LoadAd to OnAdLoadSuccess.
double Load(KestrelAds* ads, const std::string& placement, bool pumpGtk) {
  struct Outcome {
    std::atomic<Clock::rep> at{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::string message;
  };
  auto outcome = std::make_shared<Outcome>();
  AdLoadCallback callback;
  callback.OnAdLoadSuccess = [outcome](AdLoadEventArgs) { outcome->at.store(Clock::now().time_since_epoch().count()); };
  callback.OnAdLoadFailure = [outcome](AdLoadEventArgs args) {
    std::lock_guard lock(outcome->mutex);
    outcome->message = args.Message;
    outcome->failed = true;
  };
  const auto start = Clock::now();
  if (!ads->LoadAd(placement, callback)) throw std::runtime_error("LoadAd refused " + placement);
  const auto done = [&] { return outcome->at.load() != 0 || outcome->failed.load(); };
  if (!(pumpGtk ? PumpUntil(done, kDeadline) : test::WaitUntil(done, kDeadline))) {
    throw std::runtime_error("no load result for " + placement);
  }
  if (outcome->failed) {
    std::lock_guard lock(outcome->mutex);
    throw std::runtime_error("loading " + placement + " failed: " + outcome->message);
  }
  return MsBetween(start, Clock::time_point(Clock::duration(outcome->at.load())));
}

std::string LastBody(const adserver::LocalAdServer& server, const std::string& path) {
  auto requests = server.Requests(path);
  if (requests.empty()) throw std::runtime_error("the server saw no " + path + " request");
  return requests.back().body;
}

// ---- the figures ----

// A fresh SDK folder per run is the application's first start; one folder for
// every run is each later start, which finds the settings file of the last.
Figure MeasureInit(adserver::LocalAdServer& server, int runs, bool firstStart) {
  Figure figure{firstStart ? "init, first start" : "init, later start", "ms", {}, {}, 1.5};
  std::optional<test::ScopedDataHome> shared;
  if (!firstStart) {
    shared.emplace();
    Initialize(server.BaseUrl(), nullptr, false);  // the start before: writes the settings file
  }
  for (int i = 0; i < runs; ++i) {
    std::optional<test::ScopedDataHome> fresh;
    if (firstStart) fresh.emplace();
    figure.sdk.push_back(Initialize(server.BaseUrl(), nullptr, false).ms);
    SdkState::Reset();
    const std::string body = LastBody(server, "/config");
    const auto start = Clock::now();
    Baseline().Post(server.BaseUrl() + "/config", body);
    figure.baseline.push_back(MsBetween(start, Clock::now()));
  }
  return figure;
}

// An /ads body for the warm-up download.
std::string BaselineAdsBody() {
  return nlohmann::json{{"request", {{"header_bidding", false}, {"placements", {"interstitial"}}}}}.dump();
}

Figure MeasureLoad(adserver::LocalAdServer& server, int runs, std::size_t fillerBytes, const std::string& name) {
  server.SetFault("bundle=large:" + std::to_string(fillerBytes));
  Figure figure{name, "ms", {}, {}, 1.2};
  {
    // Untimed: the server builds the archive on its first request.
    test::TempDir folder;
    Baseline().LoadAd(server.BaseUrl() + "/ads", BaselineAdsBody(), folder.Path());
  }
  for (int i = 0; i < runs; ++i) {
    {
      test::ScopedDataHome home;  // a fresh SDK folder: the load really downloads
      KestrelAds* ads = Initialize(server.BaseUrl(), nullptr, false).ads;
      figure.sdk.push_back(Load(ads, "interstitial", false));
      SdkState::Reset();
    }
    const std::string body = LastBody(server, "/ads");
    test::TempDir folder;
    const auto start = Clock::now();
    Baseline().LoadAd(server.BaseUrl() + "/ads", body, folder.Path());
    figure.baseline.push_back(MsBetween(start, Clock::now()));
  }
  server.ClearFaults();
  return figure;
}

// A copy of the server's fixtures whose configuration has two more
// placements, so that five different placements can be loaded.
void WriteFivePlacementFixtures(const fs::path& folder) {
  const fs::path source = KESTREL_BENCH_FIXTURES_DIR;
  fs::copy(source / "assets", folder / "assets", fs::copy_options::recursive);
  std::ifstream in(source / "config.json");
  auto config = nlohmann::json::parse(in);
  for (const char* name : {"interstitial_2", "rewarded_video_2"}) {
    config["placements"].push_back({{"reference_id", name},
                                    {"is_auto_cached", false},
                                    {"is_incentivized", false},
                                    {"header_bidding", false},
                                    {"max_hb_cache", 0}});
  }
  std::ofstream(folder / "config.json") << config.dump(2);
}

// The memory figure's child: initialises, loads every placement of the
// configuration and prints the kB that this added to its peak resident size.
long StatusKb(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(key + ":")) return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
  }
  throw std::runtime_error("no " + key + " in /proc/self/status");
}

int MemoryChild(const std::string& baseUrl) {
  QuietOutput quiet;
  try {
    test::ScopedDataHome home;
    const long before = StatusKb("VmHWM");
    std::vector<std::string> placements;
    KestrelSdkConfig config;
    config.ConfigBaseUrl = baseUrl;
    InitializationCallback callback;
    callback.OnInitializationSuccess = [&](InitializationSuccessEventArgs args) {
      for (const auto& p : args.Placements) placements.push_back(p.ReferenceId);
    };
    KestrelAds* ads = KestrelAds::InitializeAsync("bench-app", config, nullptr, callback).get();
    if (!ads || placements.size() != 5) throw std::runtime_error("expected 5 placements from /config");
    for (const auto& placement : placements) Load(ads, placement, false);
    const long after = StatusKb("VmHWM");
    quiet.Out() << "hwm_added_kb " << (after - before) << "\n";
    SdkState::Reset();
    return 0;
  } catch (const std::exception& e) {
    quiet.Out() << "error " << e.what() << "\n";
    return 1;
  }
}

Figure MeasureMemory(int runs) {
  test::TempDir fixtures;
  WriteFivePlacementFixtures(fixtures.Path());
  auto options = adserver::LocalAdServer::QuietOptions();
  options.fixturesDir = fixtures.Path();
  adserver::LocalAdServer server(options);
  server.Start();
  Figure figure{"memory (5 loads)", "MB", {}, {}, 30.0};
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  for (int i = 0; i < runs; ++i) {
    const std::string command = "'" + self + "' --memory-child '" + server.BaseUrl() + "'";
    FILE* child = ::popen(command.c_str(), "r");
    if (!child) throw std::runtime_error("cannot start " + command);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, child)) output += buffer;
    const int status = ::pclose(child);
    long kb = 0;
    if (status != 0 || std::sscanf(output.c_str(), "hwm_added_kb %ld", &kb) != 1) {
      throw std::runtime_error("memory child failed: " + output);
    }
    figure.sdk.push_back(static_cast<double>(kb) / 1024.0);
  }
  return figure;
}

// Set by the diagnostic listener when the creative's first tracking call
// (sent from its ready handler) reaches native code.
std::atomic<bool> g_creativeStarted{false};

void WatchCreativeStart(DiagnosticLogEvent event) {
  if (event.Message.starts_with("*****Receive script notify: ") &&
      event.Message.find("event=impression") != std::string::npos) {
    g_creativeStarted = true;
  }
}

// The first play of the process (cold) may find the web engine that initialisation
// started still starting; later plays (warm) find it running.
std::vector<Figure> MeasurePlay(adserver::LocalAdServer& server, int runs, std::ostream& out) {
  setenv("NO_AT_BRIDGE", "1", 1);
  if (!gtk_init_check(nullptr, nullptr)) {
    out << "play: skipped, no display (run under xvfb-run)\n";
    return {};
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
  gtk_widget_show(window);
  PumpUntil([&] { return gtk_widget_get_mapped(window); }, std::chrono::seconds(10));

  // One SDK folder for every run: the web engine keeps one context per folder,
  // as the baseline keeps the default one.
  test::ScopedDataHome home;
  test::TempDir page;
  Figure cold{"play, cold", "ms", {}, {}, 1.3};
  Figure warm{"play, warm", "ms", {}, {}, 0.5};
  runs += 1;  // the cold one
  KestrelAds::AddDiagnosticListener(WatchCreativeStart);
  for (int i = 0; i < runs; ++i) {
    KestrelAds* ads = Initialize(server.BaseUrl(), window, true).ads;
    Load(ads, "interstitial", true);
    WebEngineKeeper::SetAdReady(true);  // as the ads side does when a load completes
    if (i == 0) Baseline().LoadAd(server.BaseUrl() + "/ads", LastBody(server, "/ads"), page.Path());

    g_creativeStarted = false;
    struct PlayState {
      bool ended = false;
      bool failed = false;
    };
    auto state = std::make_shared<PlayState>();  // the play callbacks arrive on this thread
    AdPlayCallback callback;
    callback.OnAdEnd = [state](AdPlayEventArgs) { state->ended = true; };
    callback.OnAdPlayFailure = [state](AdPlayEventArgs) { state->failed = true; };
    const auto start = Clock::now();
    const KestrelAdPlayInfo info = ads->PlayAd("interstitial", callback);
    const bool started =
        info.Success && PumpUntil([&] { return g_creativeStarted.load() || state->failed; }, kDeadline);
    const auto took = Clock::now() - start;
    if (!started || state->failed) throw std::runtime_error("the creative did not start: " + info.Message);
    (i == 0 ? cold : warm).sdk.push_back(Millis(took).count());
    if (auto view = DisplayOverlayAdView::Current())
      view->ExecuteScript("document.getElementById('close').click()", {});
    if (!PumpUntil([&] { return state->ended; }, kDeadline)) throw std::runtime_error("the ad did not close");
    SdkState::Reset();
    Pump();

    auto bare = BareWebView::OpenUntilReady(page.Path() / "index.html", kDeadline);
    if (!bare) throw std::runtime_error("the bare web view did not report the creative's start");
    (i == 0 ? cold : warm).baseline.push_back(bare->count());
  }
  KestrelAds::RemoveDiagnosticListener(WatchCreativeStart);
  gtk_widget_destroy(window);
  Pump();
  return {cold, warm};
}

// ---- what the web engine holds between ads ----

GtkWidget* OpenPublisherWindow() {
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
  gtk_widget_show(window);
  PumpUntil([&] { return gtk_widget_get_mapped(window); }, std::chrono::seconds(10));
  return window;
}

void PumpFor(Clock::duration time) {
  PumpUntil([] { return false; }, time);
}

// A line for the parent: the stage, the kB resident in this process (all, and
// anonymous: not pages of mapped files such as the engine's libraries), in
// the engine's processes together, and how many of those there are.
void ReportResident(std::ostream& out, const char* stage) {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  const auto engine = test::EngineProcessesRssKb();
  long engineKb = 0;
  for (const long kb : engine) engineKb += kb;
  out << "rss " << stage << " " << resident * (sysconf(_SC_PAGESIZE) / 1024) << " " << StatusKb("RssAnon") << " "
      << engineKb << " " << engine.size() << std::endl;
}

// The engine memory figure's child: the stages of one ad's life, the last a
// minute after the play with nothing loaded (with --smoke, once the engine's
// processes are gone after a 200 ms grace). "closed", 2 s after the play, is
// what a process held for good when the engine was kept for its life.
int EngineMemoryChild(const std::string& baseUrl, bool smoke) {
  QuietOutput quiet;
  std::ostream& out = quiet.Out();
  try {
    setenv("NO_AT_BRIDGE", "1", 1);
    if (!gtk_init_check(nullptr, nullptr)) throw std::runtime_error("no display (run under xvfb-run)");
    GtkWidget* window = OpenPublisherWindow();
    test::ScopedDataHome home;
    KestrelAds::AddDiagnosticListener(WatchCreativeStart);
    ReportResident(out, "before-init");
    KestrelAds* ads = Initialize(baseUrl, window, true).ads;
    if (smoke) WebEngineKeeper::SetReleaseGraceForTesting(std::chrono::milliseconds(200));
    Load(ads, "interstitial", true);
    WebEngineKeeper::SetAdReady(true);  // as the ads side does when a load completes
    PumpUntil([] { return !test::EngineProcessesRssKb().empty(); }, kDeadline);
    PumpFor(std::chrono::seconds(2));  // the engine's start settles
    ReportResident(out, "ad-ready");
    auto ended = std::make_shared<bool>(false);
    AdPlayCallback callback;
    callback.OnAdEnd = [ended](AdPlayEventArgs) { *ended = true; };
    if (!ads->PlayAd("interstitial", callback).Success || !PumpUntil([] { return g_creativeStarted.load(); }, kDeadline))
      throw std::runtime_error("the creative did not start");
    WebEngineKeeper::SetAdReady(false);  // the one ad is playing: none is ready
    PumpFor(std::chrono::seconds(1));
    ReportResident(out, "playing");
    if (auto view = DisplayOverlayAdView::Current()) view->ExecuteScript("document.getElementById('close').click()", {});
    if (!PumpUntil([&] { return *ended; }, kDeadline)) throw std::runtime_error("the ad did not close");
    if (!smoke) {
      PumpFor(std::chrono::seconds(2));  // within the grace: all that was kept for the next play is there
      ReportResident(out, "closed");
    }
    if (smoke) {
      PumpUntil([] { return test::EngineProcessesRssKb().empty(); }, kDeadline);
    } else {
      PumpFor(std::chrono::seconds(60));
    }
    ReportResident(out, "idle");
    KestrelAds::RemoveDiagnosticListener(WatchCreativeStart);
    SdkState::Reset();
    gtk_widget_destroy(window);
    Pump();
    return 0;
  } catch (const std::exception& e) {
    out << "error " << e.what() << std::endl;
    return 1;
  }
}

// Runs the child once and prints its stages; the figures judged are the
// engine's processes a minute after the play and what the SDK's process
// holds then beyond what it held before initialisation.
std::vector<Figure> MeasureEngineMemory(adserver::LocalAdServer& server, bool smoke, std::ostream& out) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string command =
      "'" + self + "' --engine-memory-child '" + server.BaseUrl() + "'" + (smoke ? " --smoke" : "");
  FILE* child = ::popen(command.c_str(), "r");
  if (!child) throw std::runtime_error("cannot start " + command);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, child)) output += buffer;
  if (::pclose(child) != 0) throw std::runtime_error("engine memory child failed: " + output);
  std::map<std::string, std::array<long, 4>> stages;
  std::istringstream lines(output);
  out << "resident memory (MB)  SDK process  of it anonymous  engine processes (count)\n";
  for (std::string word, stage; lines >> word >> stage;) {
    auto& kb = stages[stage];
    lines >> kb[0] >> kb[1] >> kb[2] >> kb[3];
    out << std::left << std::fixed << std::setprecision(1) << std::setw(22) << stage << std::setw(13) << kb[0] / 1024.0
        << std::setw(17) << kb[1] / 1024.0 << kb[2] / 1024.0 << " (" << kb[3] << ")\n";
  }
  if (!stages.contains("before-init") || !stages.contains("idle"))
    throw std::runtime_error("engine memory child said: " + output);
  return {{"engine, idle", "MB", {stages["idle"][2] / 1024.0}, {}, 30.0},
          {"SDK added, idle", "MB", {(stages["idle"][0] - stages["before-init"][0]) / 1024.0}, {}, 40.0}};
}

// ---- what the calls cost their caller while the server holds its answers ----

// The median and the 99th percentile of a sample, in microseconds.
std::string Spread(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  const std::size_t n = us.size();
  const double median = n % 2 ? us[n / 2] : (us[n / 2 - 1] + us[n / 2]) / 2;
  const double p99 = us[std::min(n - 1, static_cast<std::size_t>(0.99 * static_cast<double>(n)))];
  std::ostringstream out;
  out << std::fixed << std::setprecision(1) << "median " << median << " us, p99 " << p99 << " us (" << n << " calls)";
  return out.str();
}

double MicrosSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// LoadAd while every /ads answer is held (each placement's first call starts
// its load, the others join it), then PlayAd of a loaded placement with
// another placement's load held and with none in flight.
void MeasureCallTimes(adserver::LocalAdServer& server, int plays, std::ostream& out) {
  setenv("NO_AT_BRIDGE", "1", 1);
  if (!gtk_init_check(nullptr, nullptr)) {
    out << "call times: skipped, no display (run under xvfb-run)\n";
    return;
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
  gtk_widget_show(window);
  PumpUntil([&] { return gtk_widget_get_mapped(window); }, std::chrono::seconds(10));
  test::ScopedDataHome home;
  KestrelAds* ads = Initialize(server.BaseUrl(), window, true).ads;
  KestrelAds::AddDiagnosticListener(WatchCreativeStart);

  server.SetFault("ads=delay,delay_ms=60000");
  std::vector<double> loads;
  const char* placements[] = {"interstitial", "rewarded_video"};  // hb_banner is kept for the held load below
  for (int i = 0; i < 200; ++i) {
    const auto start = Clock::now();
    ads->LoadAd(placements[i % 2], {});
    loads.push_back(MicrosSince(start));
  }
  server.ClearFaults();
  server.ReleaseDelays();
  out << "LoadAd, server holding the answers: " << Spread(loads) << "\n";
  PumpUntil([&] { return ads->IsAdPlayable("interstitial") && ads->IsAdPlayable("rewarded_video"); }, kDeadline);

  for (const bool held : {false, true}) {
    if (held) {
      server.SetFault("ads=delay,delay_ms=60000");
      ads->LoadAd("hb_banner", {});  // never loaded before: stays in flight for this round
    }
    std::vector<double> calls;
    for (int i = 0; i < plays; ++i) {
      if (!ads->IsAdPlayable("interstitial")) {
        server.ClearFaults();
        Load(ads, "interstitial", true);
        if (held) server.SetFault("ads=delay,delay_ms=60000");
      }
      auto ended = std::make_shared<bool>(false);
      AdPlayCallback callback;
      callback.OnAdEnd = [ended](AdPlayEventArgs) { *ended = true; };
      callback.OnAdPlayFailure = [ended](AdPlayEventArgs) { *ended = true; };
      g_creativeStarted = false;
      const auto start = Clock::now();
      const KestrelAdPlayInfo info = ads->PlayAd("interstitial", callback);
      calls.push_back(MicrosSince(start));
      if (!info.Success) throw std::runtime_error("the play was refused: " + info.Message);
      if (!PumpUntil([&] { return g_creativeStarted.load(); }, kDeadline))
        throw std::runtime_error("the creative did not start");
      if (auto view = DisplayOverlayAdView::Current()) view->ExecuteScript("document.getElementById('close').click()", {});
      if (!PumpUntil([&] { return *ended; }, kDeadline)) throw std::runtime_error("the ad did not close");
    }
    out << (held ? "PlayAd, another placement's load held: " : "PlayAd, no load in flight:           ")
        << Spread(calls) << "\n";
  }
  KestrelAds::RemoveDiagnosticListener(WatchCreativeStart);
  server.ClearFaults();
  server.ReleaseDelays();
  SdkState::Reset();
  gtk_widget_destroy(window);
  Pump();
}

// ---- the network table: the same exchanges through a simulated network ----

struct NetworkFigure {
  std::string name;
  int roundTripMs = 0;
  std::vector<double> sdk;
  std::vector<double> baseline;
  double bound = 0;         // ms the simulated network needs at the least
  double target = 0;        // the ratio to stay at or under
  bool againstBaseline = false;  // the target is a ratio to the baseline, not to the bound
};

constexpr double kNetworkBitsPerSecond = 20e6;

double TransferMs(std::size_t bytes) {
  return static_cast<double>(bytes) * 8 / kNetworkBitsPerSecond * 1000;
}

// A server behind the simulator: every URL it writes names the relay. With
// TLS the relay passes the encrypted bytes; the clients must trust the test
// authority in KESTREL_TEST_CA_DIR (tests/support/with-test-ca.sh).
struct SimulatedServer {
  SimulatedServer(int roundTripMs, const fs::path& fixtures, bool tls)
      : sim("127.0.0.1", 0, {std::chrono::milliseconds(roundTripMs), kNetworkBitsPerSecond}) {
    auto options = adserver::LocalAdServer::QuietOptions();
    options.fixturesDir = fixtures;
    const std::string port = std::to_string(sim.Start());
    options.publicBaseUrl = tls ? "https://localhost:" + port : "http://127.0.0.1:" + port;
    if (tls) {
      const char* authority = std::getenv("KESTREL_TEST_CA_DIR");
      if (!authority) throw std::runtime_error("--https needs KESTREL_TEST_CA_DIR (tests/support/with-test-ca.sh)");
      options.tls = true;
      options.tlsDir = authority;
    }
    server.emplace(options);
    server->Start();
    sim.SetUpstreamPort(server->Port());
  }
  netsim::NetSim sim;
  std::optional<adserver::LocalAdServer> server;
};

// The fixtures with five more images of incompressible bytes, and the /ads
// answer that names them beside the sample ad's parts: a bundle and seven assets.
constexpr int kExtraAssets = 5;
constexpr std::size_t kExtraAssetBytes = 110 * 1000;

void WriteNetworkFixtures(const fs::path& folder) {
  const fs::path source = KESTREL_BENCH_FIXTURES_DIR;
  fs::copy(source, folder, fs::copy_options::recursive);
  std::uint32_t state = 12345;
  for (int i = 1; i <= kExtraAssets; ++i) {
    std::string bytes(kExtraAssetBytes, '\0');
    for (char& c : bytes) {
      state = state * 1664525u + 1013904223u;
      c = static_cast<char>(state >> 24);
    }
    std::ofstream(folder / "assets" / ("extra" + std::to_string(i) + ".png"), std::ios::binary) << bytes;
  }
}

std::string AdsWithSevenAssets(const std::string& baseUrl, std::string answer) {
  auto document = nlohmann::json::parse(answer);
  auto& cacheable = document.at("ads").at(0).at("ad_markup").at("templateSettings").at("cacheable_replacements");
  for (int i = 1; i <= kExtraAssets; ++i) {
    cacheable["EXTRA_" + std::to_string(i)] = {{"url", baseUrl + "/assets/extra" + std::to_string(i) + ".png"},
                                               {"extension", "png"}};
  }
  return document.dump();
}

std::vector<NetworkFigure> MeasureNetwork(int runs, const std::vector<int>& roundTrips, bool tls) {
  test::TempDir fixtures;
  WriteNetworkFixtures(fixtures.Path());
  std::vector<NetworkFigure> figures;
  for (const int rtt : roundTrips) {
    SimulatedServer net(rtt, fixtures.Path(), tls);
    const std::string suffix = tls ? " (https)" : "";
    adserver::LocalAdServer& server = *net.server;
    const std::string base = server.BaseUrl();

    // TLS 1.3 adds one round trip to a new connection.
    NetworkFigure init{"init" + suffix, rtt, {}, {}, (tls ? 3.0 : 2.0) * rtt, 1.1, true};
    for (int i = 0; i < runs; ++i) {
      test::ScopedDataHome home;
      PlatformServices::SetHttpClient(nullptr);  // as in a new process: no connection is open yet
      init.sdk.push_back(Initialize(base, nullptr, false).ms);
      SdkState::Reset();
      const std::string body = LastBody(server, "/config");
      const auto start = Clock::now();
      Baseline().Post(base + "/config", body);  // a new connection, as the SDK's first exchange
      init.baseline.push_back(MsBetween(start, Clock::now()));
    }
    figures.push_back(init);

    for (const bool seven : {false, true}) {
      server.ClearFaults();
      std::string adsBody;
      {
        test::ScopedDataHome home;
        KestrelAds* ads = Initialize(base, nullptr, false).ads;
        Load(ads, "interstitial", false);
        SdkState::Reset();
        adsBody = LastBody(server, "/ads");
      }
      if (seven) {
        const std::string answer = Baseline().Post(base + "/ads", adsBody);
        adserver::Fault fault;
        fault.route = adserver::FaultRoute::Ads;
        fault.mode = adserver::FaultMode::Body;
        fault.body = AdsWithSevenAssets(base, answer);
        server.SetFault(fault);
      }
      std::size_t bytes = 0;
      {
        test::TempDir folder;
        bytes = Baseline().LoadAdInParallel(base + "/ads", adsBody, folder.Path());
      }
      NetworkFigure load{(seven ? "load, bundle + 7 assets" : "load, sample ad") + suffix, rtt, {}, {},
                         2.0 * rtt + TransferMs(bytes), 1.25, false};
      for (int i = 0; i < runs; ++i) {
        {
          test::ScopedDataHome home;
          PlatformServices::SetHttpClient(nullptr);
          KestrelAds* ads = Initialize(base, nullptr, false).ads;
          load.sdk.push_back(Load(ads, "interstitial", false));
          SdkState::Reset();
        }
        Baseline baseline;
        baseline.Post(base + "/config", LastBody(server, "/config"));  // as the SDK, a warm connection
        test::TempDir folder;
        const auto start = Clock::now();
        baseline.LoadAdInParallel(base + "/ads", adsBody, folder.Path());
        load.baseline.push_back(MsBetween(start, Clock::now()));
      }
      figures.push_back(load);
    }
  }
  return figures;
}

void PrintNetworkTable(std::ostream& out, const std::vector<NetworkFigure>& figures) {
  out << "network: " << kNetworkBitsPerSecond / 1e6 << " Mbit/s shared downlink, medians (min-max) in ms\n"
      << std::left << std::setw(32) << "figure" << std::setw(6) << "rtt" << std::setw(24) << "SDK" << std::setw(10)
      << "bound" << std::setw(24) << "baseline" << std::setw(10) << "SDK/bound" << std::setw(10) << "SDK/base"
      << std::setw(12) << "target" << "result\n";
  for (const NetworkFigure& f : figures) {
    const Summary sdk = Summarise(f.sdk);
    const Summary base = Summarise(f.baseline);
    const double toBound = f.bound > 0 ? sdk.median / f.bound : 0;
    const double toBase = sdk.median / base.median;
    // Judged only where the network dominates: with no round trip the local work does.
    const bool judged = f.roundTripMs > 0;
    const double value = f.againstBaseline ? toBase : toBound;
    std::ostringstream bound, ratios, target;
    bound << std::fixed << std::setprecision(1) << f.bound;
    ratios << std::fixed << std::setprecision(2) << toBound << std::setw(10) << " " << toBase;
    target << "<= " << std::fixed << std::setprecision(2) << f.target << (f.againstBaseline ? " base" : " bound");
    out << std::left << std::setw(32) << f.name << std::setw(6) << f.roundTripMs << std::setw(24) << Cell(sdk, 1)
        << std::setw(10) << bound.str() << std::setw(24) << Cell(base, 1) << std::setw(10) << std::fixed
        << std::setprecision(2) << toBound << std::setw(10) << toBase << std::setw(12)
        << (judged ? target.str() : std::string("-")) << (judged ? (value <= f.target ? "PASS" : "MISS") : "-")
        << "\n";
  }
  out.flush();
}

int RunNetwork(int runs, const std::vector<int>& roundTrips, bool tls) {
  QuietOutput quiet;
  std::ostream& out = quiet.Out();
  try {
    PrintNetworkTable(out, MeasureNetwork(runs, roundTrips, tls));
  } catch (const std::exception& e) {
    out << "error: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

int Run(int runs, bool smoke) {
  QuietOutput quiet;
  std::ostream& out = quiet.Out();
  std::vector<Figure> figures;
  try {
    adserver::LocalAdServer server;
    server.Start();
    out << "kestrel_e2e_bench: " << runs << " run(s) per figure against " << server.BaseUrl() << "\n";
    figures.push_back(MeasureInit(server, runs, true));
    figures.push_back(MeasureInit(server, runs, false));
    figures.push_back(MeasureLoad(server, runs, 1000 * 1000, "load 1 MB bundle"));
    if (!smoke) figures.push_back(MeasureLoad(server, runs, 20 * 1000 * 1000, "load 20 MB bundle"));
    figures.push_back(MeasureMemory(runs));
    const std::vector<Figure> plays = MeasurePlay(server, runs, out);
    figures.insert(figures.end(), plays.begin(), plays.end());
    if (!plays.empty()) {
      for (Figure& memory : MeasureEngineMemory(server, smoke, out)) figures.push_back(std::move(memory));
    }
    MeasureCallTimes(server, smoke ? 5 : 50, out);
  } catch (const std::exception& e) {
    PrintTable(out, figures);
    out << "error: " << e.what() << "\n";
    return 1;
  }
  PrintTable(out, figures);
  return 0;
}

}  // namespace
}  // namespace kestrel::bench

int main(int argc, char** argv) {
  int runs = 7;
  bool smoke = false;
  std::vector<int> roundTrips;
  bool https = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--memory-child" && i + 1 < argc) return kestrel::bench::MemoryChild(argv[i + 1]);
    if (arg == "--engine-memory-child" && i + 1 < argc) {
      return kestrel::bench::EngineMemoryChild(argv[i + 1], i + 2 < argc && std::string(argv[i + 2]) == "--smoke");
    }
    if (arg == "--smoke") {
      smoke = true;
      runs = 1;
    } else if (arg == "--https") {
      https = true;
    } else if (arg == "--network" && i + 1 < argc) {
      std::stringstream list(argv[++i]);
      for (std::string ms; std::getline(list, ms, ',');) roundTrips.push_back(std::atoi(ms.c_str()));
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
      if (runs < 1 || runs > 1000) {
        std::cerr << "--runs takes a number from 1 to 1000\n";
        return 2;
      }
    } else {
      std::cerr << "usage: " << argv[0] << " [--runs N] [--smoke] [--network RTT_MS,... [--https]]\n";
      return 2;
    }
  }
  if (!roundTrips.empty()) return kestrel::bench::RunNetwork(runs, roundTrips, https);
  return kestrel::bench::Run(runs, smoke);
}
