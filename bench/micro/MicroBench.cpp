// Micro-benchmarks of the SDK's hot paths: request bodies, /ads parsing, the
// bid token, MRAID command reading and a settings save. The controllers that
// the bodies and the token read come from one real initialisation against the
// local ad server.

#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "AdDocument.h"
#include "LocalAdServer.h"
#include "server/AdMarkupModel.h"
#include "server/AdResponse.h"
#include "ads/IMediationController.h"
#include "common/QuietOutput.h"
#include "config/PersistentSettingsController.h"
#include "display/MraidCommand.h"
#include "kestrel/KestrelAds.h"
#include "server/RequestBodies.h"
#include "net/ServerRequests.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

void ConfigBody(benchmark::State& state) {
  for (auto _ : state) {
    ServerRequests request;
    BuildCommonBody(request);
    benchmark::DoNotOptimize(request.m_body);
    if (!request.m_body.contains("app") || !request.m_body.contains("device")) {
      state.SkipWithError("the body lacks the app or device section");
      break;
    }
  }
}
BENCHMARK(ConfigBody);

void AdsBody(benchmark::State& state) {
  for (auto _ : state) {
    ServerRequests request;
    BuildCommonBody(request);
    MergeJson(request.m_body, BuildAdRequestObject("interstitial", false));
    benchmark::DoNotOptimize(request.m_body);
    if (request.m_body["request"]["placements"][0] != "interstitial") {
      state.SkipWithError("the body lacks the placement");
      break;
    }
  }
}
BENCHMARK(AdsBody);

void ParseAds(benchmark::State& state, const std::string& body) {
  for (auto _ : state) {
    AdResponse ad;
    ad.ParseAdMarkup(AdMarkupModel(body));
    benchmark::DoNotOptimize(ad);
    if (ad.m_templateUrl.empty() || ad.m_cacheableReplacements.size() != 2) {
      state.SkipWithError("the ad's template or replacements were not read");
      break;
    }
  }
}

void SuperToken(benchmark::State& state) {
  auto mediation = ControllerRegistry::GetMediationController();
  for (auto _ : state) {
    std::string token = mediation ? mediation->GetSuperToken("") : std::string();
    benchmark::DoNotOptimize(token);
    if (token.empty()) {
      state.SkipWithError("empty token");
      break;
    }
  }
}
BENCHMARK(SuperToken);

void MraidCommands(benchmark::State& state) {
  const std::string tpat = "mraid://tpat?event=impression";
  const std::string open = "mraid://open?url=https%3A%2F%2Fwww.example.com%2Fapp%3Fid%3D42&useCustomClose=true";
  for (auto _ : state) {
    for (const std::string* message : {&tpat, &open}) {
      const bool command = MraidCommand::IsCommandUrl(*message);
      auto name = MraidCommand::Name(*message);
      auto parameters = MraidCommand::ParseParameters(*message);
      benchmark::DoNotOptimize(parameters);
      if (!command || parameters.empty() || (name != "tpat" && name != "open")) {
        state.SkipWithError("a command was misread");
        return;
      }
    }
  }
}
BENCHMARK(MraidCommands);

void SettingsSave(benchmark::State& state) {
  test::TempDir dir;
  PersistentSettingsController settings(dir.String());
  settings.Initialize().get();
  bool value = false;
  for (auto _ : state) {
    value = !value;
    settings.SetCoppaConsentStatus(value);  // every change rewrites settings.ke
  }
  if (!fs::is_regular_file(dir.Path() / "settings.ke")) state.SkipWithError("settings.ke was not written");
}
BENCHMARK(SettingsSave);

// The console table; remembers whether a benchmark's check failed.
class FailureAwareReporter : public benchmark::ConsoleReporter {
 public:
  FailureAwareReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) m_failed = m_failed || run.error_occurred;
    ConsoleReporter::ReportRuns(runs);
  }
  bool Failed() const { return m_failed; }

 private:
  bool m_failed = false;
};

}  // namespace
}  // namespace kestrel

int main(int argc, char** argv) {
  using namespace kestrel;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::QuietOutput quiet;

  test::ScopedDataHome dataHome;
  SdkState::Reset();
  adserver::LocalAdServer server;
  server.Start();
  KestrelSdkConfig config;
  config.ConfigBaseUrl = server.BaseUrl();
  std::atomic<bool> initialized{false};
  InitializationCallback callback{[&](InitializationSuccessEventArgs) { initialized = true; }, {}};
  if (!KestrelAds::InitializeAsync("bench-app", config, nullptr, callback).get() || !initialized) {
    quiet.Out() << "The SDK did not initialise against " << server.BaseUrl() << "\n";
    return 1;
  }
  const std::string adsBody =
      adserver::AdDocument(server.BaseUrl(), 0, 3).Ad("interstitial", "bench-event", 1700000000).dump();
  benchmark::RegisterBenchmark("ParseAds", [adsBody](benchmark::State& state) { ParseAds(state, adsBody); });

  FailureAwareReporter reporter;
  reporter.SetOutputStream(&quiet.Out());
  reporter.SetErrorStream(&quiet.Out());
  const std::size_t ran = benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  SdkState::Reset();
  return ran > 0 && !reporter.Failed() ? 0 : 1;
}
