#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "server/AdMarkupModel.h"
#include "ads/CreativeBundleStore.h"
#include "display/DisplayAdController.h"
#include "net/ServerRequests.h"
#include "platform/Paths.h"
#include "ads/CreativeBundleController.h"
#include "support/LogCapture.h"
#include "unit/ads/AdsFixture.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::LoadRecorder;
using test::LogCapture;
using Answer = test::FakeRequestController::Answer;

class CreativeBundleControllerTest : public test::AdsFixture {
 protected:
  // A parsed ad whose /ads request carries the recorders' callbacks.
  AdResponse Ad(const std::vector<std::pair<std::string, std::string>>& cacheable,
                const std::string& adType = "tovane_mraid") {
    AdResponse ad;
    ad.ParseAdMarkup(AdMarkupModel(test::AdBody("e1", "http://h/b/bundle.zip", cacheable, adType)));
    auto request = std::make_shared<ServerRequests>();
    request->m_onSuccess = success.Handler();
    request->m_onFailure = failure.Handler();
    ad.m_request = request;
    return ad;
  }

  LoadRecorder success, failure;
};

TEST_F(CreativeBundleControllerTest, ASharedUrlIsFetchedOnceAndTheLastPartCompletesTheBundle) {
  Placement("P");
  const std::size_t listeners = requests->ListenerCount();
  requests->HoldParts(true);
  CreativeBundleController bundle(
      Ad({{"APP_ICON", "http://h/b/bundle.zip"}, {"MAIN_VIDEO", ""}, {"FONT_URL", "http://h/f/font.ttf"}}), "P", "P_1");
  EXPECT_EQ(requests->ListenerCount(), listeners + 1);
  bundle.StartDownload();

  auto parts = requests->PartCalls();
  ASSERT_EQ(parts.size(), 2u);
  std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.url < b.url; });
  EXPECT_EQ(parts[0].url, "http://h/b/bundle.zip");
  EXPECT_EQ(parts[1].url, "http://h/f/font.ttf");
  EXPECT_EQ(parts[1].partName, "FONT_URL");

  requests->DeliverPart(parts[1], Answer{});
  EXPECT_FALSE(bundle.AllPartsDownloaded());
  // The same placement's part for another bundle folder is not this bundle's.
  auto other = parts[0];
  other.folderName = "P_2";
  requests->DeliverPart(other, Answer{});
  EXPECT_FALSE(bundle.AllPartsDownloaded());

  requests->DeliverPart(parts[0], Answer{});
  EXPECT_TRUE(bundle.AllPartsDownloaded());
  EXPECT_EQ(requests->ListenerCount(), listeners);
  // The completion went to the placement with the /ads request's callbacks; this bundle is
  // not in the placement's store, so the placement counts nothing playable.
  ASSERT_EQ(failure.Events().size(), 1u);
  EXPECT_EQ(failure.Events()[0].Message, "Downloaded all Ad Parts");
  EXPECT_EQ(failure.Events()[0].PlacementId, "P");

  requests->DeliverPart(parts[0], Answer{});
  EXPECT_EQ(failure.Events().size(), 1u);
}

TEST_F(CreativeBundleControllerTest, TheFirstFailedPartFailsTheBundleOnce) {
  for (const Answer& bad : {Answer{0, true, ""}, Answer{500, false, ""}}) {
    LogCapture log;
    const std::size_t listeners = requests->ListenerCount();
    requests->HoldParts(true);
    const std::size_t before = requests->PartCalls().size();
    int failures = 0;
    CreativeBundleController bundle(Ad({{"APP_ICON", "http://h/a/icon.png"}}), "P", "P_1", [&] { ++failures; });
    bundle.SetState(ICreativeBundleController::kDownloading);
    bundle.StartDownload();
    const auto parts = requests->PartCalls();
    ASSERT_EQ(parts.size(), before + 2);

    requests->DeliverPart(parts[before], bad);
    requests->DeliverPart(parts[before + 1], bad);
    requests->DeliverPart(parts[before + 1], Answer{});
    EXPECT_EQ(bundle.GetState(), ICreativeBundleController::kFailed);
    EXPECT_FALSE(bundle.AllPartsDownloaded());
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(log.CountStartingWith("Didn't get ad part - got "), 1);
    EXPECT_EQ(requests->ListenerCount(), listeners);
    EXPECT_TRUE(success.Events().empty());
    EXPECT_TRUE(failure.Events().empty());
  }
}

TEST_F(CreativeBundleControllerTest, OnlyMraidAdsMakeBundlesAndADroppedBundleStopsListening) {
  const std::size_t listeners = requests->ListenerCount();
  try {
    CreativeBundleController bundle(Ad({}, "vast"), "P", "P_1");
    ADD_FAILURE() << "a vast ad must not make a bundle";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Not yet Implemented!");
  }
  EXPECT_EQ(requests->ListenerCount(), listeners);

  requests->HoldParts(true);
  auto bundle = std::make_unique<CreativeBundleController>(Ad({}), "P", "P_1");
  bundle->StartDownload();
  bundle.reset();
  EXPECT_EQ(requests->ListenerCount(), listeners);
  requests->DeliverPart(requests->PartCalls().at(0), Answer{});  // arrives late, reaches no one
  EXPECT_TRUE(failure.Events().empty());
}

TEST_F(CreativeBundleControllerTest, TheStoreCyclesSixFolderNamesAndKeepsPlayableBundlesInOrder) {
  CreativeBundleStore store;
  std::vector<std::string> names;
  for (int i = 0; i < 7; ++i) names.push_back(store.NextFolderName("P"));
  EXPECT_EQ(names, (std::vector<std::string>{"P_1", "P_2", "P_3", "P_4", "P_5", "P_0", "P_1"}));
  EXPECT_EQ(store.NextFolderName("a/b:c."), "a_b_c._2");

  requests->HoldParts(true);
  auto stuck = store.AddBundle(Ad({}), "P");   // folder P_3, never completes
  auto failed = store.AddBundle(Ad({}), "P");  // P_4, fails
  auto ready = store.AddBundle(Ad({}), "P");   // P_5, completes
  for (const auto& bundle : {stuck, failed, ready}) {
    bundle->StartDownload();
    fs::create_directories(fs::path(files->GetCreativesFolder()) / bundle->GetFolderName());
  }
  const auto parts = requests->PartCalls();
  ASSERT_EQ(parts.size(), 3u);
  requests->DeliverPart(parts[1], Answer{404, false, ""});
  requests->DeliverPart(parts[2], Answer{});
  EXPECT_EQ(store.CountPlayableBundles(), 1);

  LogCapture log;
  store.CleanUpBadBundles();
  EXPECT_TRUE(log.Has("Deleted 1 bad bundles.", LogLevel::Info));
  EXPECT_FALSE(fs::exists(fs::path(files->GetCreativesFolder()) / "P_4"));

  auto taken = store.TakePlayableBundle();
  EXPECT_EQ(taken, ready);
  EXPECT_FALSE(fs::exists(fs::path(files->GetCreativesFolder()) / "P_3"));  // unplayable, queued before it
  EXPECT_TRUE(fs::exists(fs::path(files->GetCreativesFolder()) / "P_5"));
  EXPECT_EQ(store.TakePlayableBundle(), nullptr);
  EXPECT_EQ(store.CountPlayableBundles(), 0);
}

TEST_F(CreativeBundleControllerTest, ReplacementsPointAtTheBundleFolderAndCarryTheAdConfigTexts) {
  LogCapture log;
  // The query stays in the name, made storable as the download saved it.
  AdResponse ad = Ad({{"MAIN_VIDEO", "http://h/videos/v1/clip.mp4?sig=a:b*c"}, {"OTHER", "http://h/o/other.png"}});
  ad.m_normalReplacements["APP_RATING"] = "4.5";
  AdConfig config;
  config.IncentivizedTitleText = "Keep watching?";
  const std::string folder = JoinPath(files->GetCreativesFolder(), "P_1");
  DisplayAdController display(folder, true, nullptr, ad, config);
  const auto replacements = display.GetAllReplacements();

  EXPECT_EQ(replacements.at("MAIN_VIDEO"), JoinPath(folder, "clip.mp4_sig=a_b_c"));
  EXPECT_EQ(replacements.at("templateURL"), JoinPath(folder, "bundle.zip"));
  EXPECT_EQ(replacements.at("APP_RATING"), JoinPath(folder, "4.5"));
  EXPECT_EQ(replacements.at("OTHER"), "http://h/o/other.png");
  EXPECT_EQ(replacements.at("TITLE"), "t");
  EXPECT_EQ(replacements.at("INCENTIVIZED_TITLE_TEXT"), "Keep watching?");
  EXPECT_FALSE(replacements.contains("INCENTIVIZED_BODY_TEXT"));
  // Once by the constructor, once by the call above.
  EXPECT_EQ(log.CountStartingWith("Changing Incentivized"), 2);
  EXPECT_EQ(log.Count("Changing Incentivized Title to Keep watching?", LogLevel::Info), 2);

  display.CloseAd();
  EXPECT_TRUE(display.GetAllReplacements().empty());
  EXPECT_TRUE(log.Has("Can't GetAllReplacements because we're not initialized!", LogLevel::Error));
}

}  // namespace
}  // namespace kestrel
