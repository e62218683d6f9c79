#pragma once

// The SDK initialised through its public interface against the local ad
// server on loopback, with a transport that gives up on a stalled server after
// a few seconds instead of thirty.

#include "support/TestPrelude.h"

#include <iostream>

#include <nlohmann/json.hpp>

#include "LocalAdServer.h"
#include "kestrel/KestrelAds.h"
#include "platform/Backend.h"
#include "platform/PlatformServices.h"
#include "base/CallbackDispatcher.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "storage/IFileSystemController.h"

namespace kestrel::test {

// A stalled exchange ends after this long without a byte.
inline constexpr std::chrono::seconds kLowSpeedTime{2};
// How long the server holds a stalled answer: far beyond the low-speed limit; stopping the server ends it.
inline constexpr int kStallMs = 60000;

// Records the load callbacks it hands out.
struct LoadRecorder {
  std::mutex mutex;
  std::vector<AdLoadEventArgs> events;

  AdLoadHandler Handler() {
    return [this](AdLoadEventArgs args) {
      std::lock_guard lock(mutex);
      events.push_back(std::move(args));
    };
  }
  std::vector<AdLoadEventArgs> Events() {
    std::lock_guard lock(mutex);
    return events;
  }
};

// An /ads body with one MRAID ad whose template archive is at templateUrl.
inline std::string AdBody(const std::string& eventId, const std::string& templateUrl) {
  nlohmann::json markup = {{"id", eventId},
                           {"adType", "tovane_mraid"},
                           {"templateURL", templateUrl},
                           {"campaign", "camp|crea|x"},
                           {"timestamp_delivered", "1700000000"},
                           {"templateSettings",
                            {{"normal_replacements", {{"TITLE", "t"}}}, {"cacheable_replacements", nlohmann::json::object()}}},
                           {"tpat", {{"impression", {"http://t/imp"}}}}};
  return nlohmann::json{{"ads", nlohmann::json::array({{{"ad_markup", markup}}})}}.dump();
}

class SdkFixture : public ::testing::Test {
 protected:
  struct InitOutcome {
    KestrelAds* instance = nullptr;
    std::vector<InitializationSuccessEventArgs> successes;
    std::vector<std::string> failures;  // the message of each failure
  };

  void SetUp() override {
    SdkState::Reset();
    dataHome = std::make_unique<ScopedDataHome>();
    PlatformServices::SetHttpClient(CreateHttpClient({std::chrono::seconds(10), kLowSpeedTime}));
    server = std::make_unique<adserver::LocalAdServer>(ServerOptions());
    server->Start();
  }
  void TearDown() override {
    SdkState::Reset();
    if (server) server->Stop();
    PlatformServices::SetHttpClient(nullptr);
    // The callbacks already handed to the callback thread reach this fixture's recorders before they go.
    std::atomic<bool> drained{false};
    CallbackDispatcher::Post([&] { drained = true; });
    WaitUntil([&] { return drained.load(); });
  }
  virtual adserver::AdServerOptions ServerOptions() { return adserver::LocalAdServer::QuietOptions(); }

  // Initialises against baseUrl (the server when empty); the callbacks have run when this returns.
  InitOutcome Initialize(std::string baseUrl = {}, KestrelSdkConfig config = {}, bool withSuccess = true) {
    config.ConfigBaseUrl = baseUrl.empty() ? server->BaseUrl() : baseUrl;
    auto outcome = std::make_shared<InitOutcome>();
    auto mutex = std::make_shared<std::mutex>();
    InitializationCallback callback;
    if (withSuccess) {
      callback.OnInitializationSuccess = [outcome, mutex](InitializationSuccessEventArgs args) {
        std::lock_guard lock(*mutex);
        outcome->successes.push_back(std::move(args));
      };
    }
    callback.OnInitializationFailure = [outcome, mutex](InitializationFailureEventArgs args) {
      std::lock_guard lock(*mutex);
      outcome->failures.push_back(args.Message);
    };
    auto future = KestrelAds::InitializeAsync("e2e-app", config, nullptr, callback);
    if (future.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
      std::cerr << "InitializeAsync has not completed after 30 s" << std::endl;
      std::abort();  // the worker still refers to this frame
    }
    KestrelAds* instance = future.get();
    std::lock_guard lock(*mutex);
    InitOutcome result = *outcome;
    result.instance = instance;
    return result;
  }

  // Initialises against the server and expects a success.
  void InitializeOrFail(KestrelSdkConfig config = {}) {
    InitOutcome outcome = Initialize({}, std::move(config));
    ASSERT_EQ(outcome.successes.size(), 1u) << (outcome.failures.empty() ? "" : outcome.failures[0]);
    ads = outcome.instance;
  }

  // A freshly loaded SDK in an empty data folder, with the choices stored.
  void FreshSdk() {
    SdkState::Reset();
    dataHome.reset();
    dataHome = std::make_unique<ScopedDataHome>();
    server->ClearFaults();
    InitializeWithChoices();
  }

  // Initialises, stores the publisher's choices and remembers settings.ke as they left it.
  void InitializeWithChoices() {
    ASSERT_NO_FATAL_FAILURE(InitializeOrFail());
    StoreChoices();
  }
  void StoreChoices() {
    KestrelAds::SetGdprConsentStatus(GdprConsentStatus::Denied, "fault-v7");
    KestrelAds::SetCcpaStatus(CcpaConsentStatus::OptedOut);
    KestrelAds::SetCoppaStatus(true);
    KestrelAds::SetDisableAshwidTracking(true);
    settingsBefore = SettingsText();
    ASSERT_NE(settingsBefore.find("fault-v7"), std::string::npos) << settingsBefore;
  }

  // settings.ke holds the same text and the getters give back the stored choices.
  // With serverValuesChanged, only the lines of the values a /config answer sets may differ.
  void ExpectChoicesKept(bool serverValuesChanged = false) {
    if (serverValuesChanged) {
      EXPECT_EQ(WithoutServerValues(SettingsText()), WithoutServerValues(settingsBefore));
    } else {
      EXPECT_EQ(SettingsText(), settingsBefore);
    }
    EXPECT_EQ(KestrelAds::GetGdprConsentStatus(), GdprConsentStatus::Denied);
    EXPECT_EQ(KestrelAds::GetGdprConsentMessageVersion(), "fault-v7");
    EXPECT_EQ(KestrelAds::GetCcpaStatus(), CcpaConsentStatus::OptedOut);
    EXPECT_TRUE(KestrelAds::GetCoppaStatus());
    EXPECT_TRUE(KestrelAds::GetDisableASHWID());
  }

  static std::string WithoutServerValues(const std::string& text) {
    std::istringstream lines(text);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
      if (!line.starts_with("configExtension=") && !line.starts_with("GdprLastConsentMessageVersionFromServer=") &&
          !line.starts_with("PlatformDisabledAdId=")) {
        kept += line + "\n";
      }
    }
    return kept;
  }

  std::filesystem::path SettingsPath() const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dataHome->Path())) {
      if (entry.path().filename() == "settings.ke") return entry.path();
    }
    return {};
  }
  std::string SettingsText() const { return ReadFile(SettingsPath()); }
  // The placement's newest bundle folder (placement + "_" + a number); a name that does not exist when it has none.
  static std::filesystem::path BundleFolder(const std::string& placement) {
    const std::filesystem::path creatives = ControllerRegistry::GetFileSystemController()->GetCreativesFolder();
    std::filesystem::path newest = creatives / (placement + "_0");
    long highest = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(creatives, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(placement + "_", 0) != 0) continue;
      const long number = std::strtol(name.c_str() + placement.size() + 1, nullptr, 10);
      if (number > highest) highest = number, newest = entry.path();
    }
    return newest;
  }

  // Calls LoadAd and checks that the call itself returns promptly.
  bool StartLoad(const std::string& placement) {
    const auto start = std::chrono::steady_clock::now();
    const bool accepted = ads->LoadAd(placement, AdLoadCallback{success.Handler(), failure.Handler()});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << "LoadAd held the caller";
    return accepted;
  }
  std::size_t Callbacks() { return success.Events().size() + failure.Events().size(); }
  // Loads and waits for the callback this load brings.
  bool LoadAndWait(const std::string& placement) {
    const std::size_t before = Callbacks();
    return StartLoad(placement) && WaitUntil([&] { return Callbacks() > before; });
  }

  // With the server behaving again, a load of the placement succeeds.
  void ExpectLoadAfterRecovery(const std::string& placement) {
    server->ClearFaults();
    const std::size_t successes = success.Events().size();
    ASSERT_TRUE(LoadAndWait(placement)) << "no callback after recovery";
    ASSERT_EQ(success.Events().size(), successes + 1)
        << (failure.Events().empty() ? "" : failure.Events().back().Message);
    EXPECT_EQ(success.Events().back().PlacementId, placement);
    EXPECT_TRUE(ads->IsAdPlayable(placement));
  }

  // The server's bid markup for the placement, fetched as a mediation layer would.
  std::string FetchMarkup(const std::string& placement, const std::string& extra = {}) {
    HttpExchange exchange{"GET", server->BaseUrl() + "/hb/markup?placement=" + placement + extra, "e2e", {}, {}, {}};
    return PlatformServices::HttpClient()->Exchange(exchange).body;
  }

  std::unique_ptr<ScopedDataHome> dataHome;
  std::unique_ptr<adserver::LocalAdServer> server;
  KestrelAds* ads = nullptr;
  LoadRecorder success, failure;
  std::string settingsBefore;
};

}  // namespace kestrel::test
