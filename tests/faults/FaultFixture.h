#pragma once

// The SDK initialised through its public interface against the local ad server,
// with the publisher's privacy choices stored, and a transport that gives up on
// a stalled server after a few seconds instead of thirty.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "LocalAdServer.h"
#include "kestrel/KestrelAds.h"
#include "platform/IHttpClient.h"
#include "platform/PlatformServices.h"
#include "sdk/SdkState.h"
#include "support/TempDir.h"
#include "support/Wait.h"
#include "unit/ads/AdsFixture.h"

namespace kestrel::test {

// A stalled exchange ends after this long without a byte.
inline constexpr std::chrono::seconds kLowSpeedTime{2};
// How long the server holds a stalled answer: far beyond the low-speed limit; stopping the server ends it.
inline constexpr int kStallMs = 60000;

class FaultFixture : public ::testing::Test {
 protected:
  struct InitOutcome {
    KestrelAds* instance = nullptr;
    std::vector<std::string> successes;  // the placements' names of each success
    std::vector<std::string> failures;   // the message of each failure
  };

  void SetUp() override {
    SdkState::Reset();
    dataHome = std::make_unique<ScopedDataHome>();
    PlatformServices::SetHttpClient(CreateHttpClient({std::chrono::seconds(10), kLowSpeedTime}));
    server.Start();
  }
  void TearDown() override {
    SdkState::Reset();
    server.Stop();
    PlatformServices::SetHttpClient(nullptr);
  }

  InitOutcome Initialize() {
    KestrelSdkConfig config;
    config.ConfigBaseUrl = server.BaseUrl();
    auto outcome = std::make_shared<InitOutcome>();
    auto mutex = std::make_shared<std::mutex>();
    InitializationCallback callback;
    callback.OnInitializationSuccess = [outcome, mutex](InitializationSuccessEventArgs args) {
      std::lock_guard lock(*mutex);
      std::string names;
      for (const auto& placement : args.Placements) names += placement.ReferenceId + " ";
      outcome->successes.push_back(names);
    };
    callback.OnInitializationFailure = [outcome, mutex](InitializationFailureEventArgs args) {
      std::lock_guard lock(*mutex);
      outcome->failures.push_back(args.Message);
    };
    auto future = KestrelAds::InitializeAsync("fault-app", config, nullptr, callback);
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

  // A freshly loaded SDK in an empty data folder, with the choices stored.
  void FreshSdk() {
    SdkState::Reset();
    dataHome.reset();
    dataHome = std::make_unique<ScopedDataHome>();
    server.ClearFaults();
    InitializeWithChoices();
  }

  // Initialises, stores the publisher's choices and remembers settings.ke as they left it.
  void InitializeWithChoices() {
    InitOutcome outcome = Initialize();
    ASSERT_EQ(outcome.successes.size(), 1u) << (outcome.failures.empty() ? "" : outcome.failures[0]);
    ads = outcome.instance;
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
  std::string SettingsText() const {
    std::ifstream in(SettingsPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Files of the data folder that a zip entry pointing outside its bundle folder would have written.
  std::vector<std::filesystem::path> EscapedFiles() const {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dataHome->Path())) {
      if (entry.path().filename().string().starts_with("evil")) found.push_back(entry.path());
    }
    return found;
  }

  // Calls LoadAd and checks that the call itself returns promptly.
  bool StartLoad(const std::string& placement) {
    const auto start = std::chrono::steady_clock::now();
    const bool accepted = ads->LoadAd(placement, AdLoadCallback{success.Handler(), failure.Handler()});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << "LoadAd held the caller";
    return accepted;
  }
  std::size_t Callbacks() { return success.Events().size() + failure.Events().size(); }

  // With the server behaving again, a load of the placement succeeds.
  void ExpectLoadAfterRecovery(const std::string& placement) {
    server.ClearFaults();
    const std::size_t successes = success.Events().size();
    const std::size_t before = Callbacks();
    ASSERT_TRUE(StartLoad(placement));
    ASSERT_TRUE(WaitUntil([&] { return Callbacks() > before; })) << "no callback after recovery";
    ASSERT_EQ(success.Events().size(), successes + 1)
        << (failure.Events().empty() ? "" : failure.Events().back().Message);
    EXPECT_EQ(success.Events().back().PlacementId, placement);
    EXPECT_TRUE(ads->IsAdPlayable(placement));
  }

  std::unique_ptr<ScopedDataHome> dataHome;
  adserver::LocalAdServer server;
  KestrelAds* ads = nullptr;
  LoadRecorder success, failure;
  std::string settingsBefore;
};

}  // namespace kestrel::test
