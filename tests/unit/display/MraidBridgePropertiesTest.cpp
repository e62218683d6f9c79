#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "config/PersistentSettingsController.h"
#include "device/DeviceInfoController.h"
#include "display/MraidBridgePropertiesController.h"
#include "privacy/GdprController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

const std::string kConstants = R"("enableBackImmediately":"false","incentivized":"true","isViewable":"true",)";
const std::string kSupports =
    R"("supports":{"calendar":"false","inlineVideo":"false","sms":"false","storePicture":"false","tel":"false"},)"
    R"("version":"1.0"})";

class MraidBridgePropertiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    R::Clear();
    settings = std::make_shared<PersistentSettingsController>(folder.String());
    R::SetPersistentSettingsController(settings);
    gdpr = std::make_shared<GdprController>();
    R::SetGdprController(gdpr);
    R::SetDeviceInfoController(std::make_shared<DeviceInfoController>(nullptr));
  }
  void TearDown() override { R::Clear(); }

  test::TempDir folder;
  std::shared_ptr<PersistentSettingsController> settings;
  std::shared_ptr<GdprController> gdpr;
  MraidBridgePropertiesController properties;
};

TEST_F(MraidBridgePropertiesTest, FullSetCarriesEveryKeyAsTextAndWatchesForConsent) {
  gdpr->SetGdprEnabled(true);
  gdpr->SetConsentTitleText("Title");
  gdpr->SetConsentBodyText("Body");
  gdpr->SetConsentAcceptButtonText("Yes");
  gdpr->SetConsentDenyButtonText("No");

  EXPECT_EQ(properties.GetBridgeProperties("interstitial", true).dump(),
            R"({"consentAcceptButtonText":"Yes","consentBodyText":"Body","consentDenyButtonText":"No",)"
            R"("consentRequired":"true","consentTitleText":"Title",)"
            R"("currentPosition":{"height":"1080","width":"1920","x":"0","y":"0"},)"
            R"("defaultPosition":{"height":"1080","width":"1920","x":"0","y":"0"},)" +
                kConstants +
                R"("maxSize":{"height":"1080","width":"1920"},"os":"windows","osVersion":"Win10",)"
                R"("placementType":"interstitial","screenSize":{"height":"1080","width":"1920"},)" +
                kSupports);
  EXPECT_TRUE(settings->GetWatchForGDPRTimeout());

  // Each build starts the watch again; once a choice is stored there is nothing to watch.
  settings->SetWatchForGDPRTimeout(false);
  properties.GetBridgeProperties("interstitial", true);
  EXPECT_TRUE(settings->GetWatchForGDPRTimeout());
  settings->SetWatchForGDPRTimeout(false);
  gdpr->SetConsentStatus(GdprController::kOptedOut, "v1");
  EXPECT_EQ(properties.GetBridgeProperties("interstitial", true)["consentRequired"], "false");
  EXPECT_FALSE(settings->GetWatchForGDPRTimeout());
}

TEST_F(MraidBridgePropertiesTest, ConsentTextsAreSentEvenWhenNoConsentIsRequired) {
  const Json set = properties.GetBridgeProperties("", false);
  EXPECT_EQ(set["consentRequired"], "false");
  for (const char* key : {"consentTitleText", "consentBodyText", "consentAcceptButtonText", "consentDenyButtonText"}) {
    EXPECT_EQ(set[key], "") << key;
  }
  EXPECT_EQ(set["placementType"], "");
  EXPECT_EQ(set["incentivized"], "false");
  EXPECT_FALSE(settings->GetWatchForGDPRTimeout());
}

TEST_F(MraidBridgePropertiesTest, WithoutGdprOrDeviceControllersSizesAreNullAndConsentIsAbsent) {
  R::Clear();
  test::LogCapture log;
  EXPECT_EQ(properties.GetBridgeProperties("", false).dump(),
            R"({"currentPosition":null,"defaultPosition":null,"enableBackImmediately":"false",)"
            R"("incentivized":"false","isViewable":"true","maxSize":null,"os":"windows","osVersion":"Win10",)"
            R"("placementType":"","screenSize":null,)" +
                kSupports);
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(MraidBridgePropertiesTest, UpdatesForTheHostHaveTheirFixedShapes) {
  EXPECT_EQ(MraidBridgePropertiesController::BuildSizeUpdate(800, 600).dump(),
            R"({"currentPosition":{"height":"600","width":"800","x":"0","y":"0"},)"
            R"("defaultPosition":{"height":"600","width":"800","x":"0","y":"0"},)"
            R"("maxSize":{"height":"600","width":"800"},"screenSize":{"height":"600","width":"800"}})");
  EXPECT_EQ(MraidBridgePropertiesController::BuildViewabilityUpdate(true).dump(), R"({"isViewable":"true"})");
  EXPECT_EQ(MraidBridgePropertiesController::BuildViewabilityUpdate(false).dump(), R"({"isViewable":"false"})");
}

}  // namespace
}  // namespace kestrel
