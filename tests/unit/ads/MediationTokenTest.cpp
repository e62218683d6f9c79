// The super token: which fragments it merges, in which order, and how it is packed.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "Base64.h"
#include "Gzip.h"
#include "ads/MediationController.h"
#include "config/PersistentSettingsController.h"
#include "device/IDeviceInfoController.h"
#include "privacy/GdprController.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/LogCapture.h"
#include "support/StubDeviceInfoController.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

class FakeCcpa : public ICcpaController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  void SetCcpaStatus(std::int32_t) override {}
  std::int32_t GetCcpaStatus() override { return 2; }
  Json GetCcpaJson() override { return nullptr; }
  Json GetBidTokenCcpaJson() override {
    return {{"user", {{"ccpa", {{"status", "opted_out"}}}, {"by", "ccpa"}}}, {"ext", {{"config_extension", "ccpa"}}}};
  }
  void UpdateCcpaInRequest(RequestBase&) override {}
};

class FakeCoppa : public ICoppaController {
 public:
  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  Json GetCoppaJson() override { return nullptr; }
  Json GetBidTokenCoppaJson() override { return {{"user", {{"coppa", {{"is_coppa", true}}}, {"by", "coppa"}}}}; }
  bool GetCoppaStatus() override { return true; }
  void SetCoppaStatus(bool) override {}
  void UpdateCoppaInRequest(RequestBase&) override {}
};

class FakeGdpr : public GdprController {
 public:
  Json GetBidTokenGdprJson() override { return {{"user", {{"gdpr", {{"status", "opted_in"}}}, {"by", "gdpr"}}}}; }
};

class FakeDevice : public test::StubDeviceInfoController {
 public:
  Json GetBidTokenDeviceJson() override {
    if (fail) throw std::runtime_error("device probe failed");
    return {{"device", {{"make", "Kestrel"}, {"model", "line\r\nend"}}},
            {"ext", {{"ordinal_view", 99}}},
            {"request", {{"sdk_user_agent", "device"}, {"kept", 1}}},
            {"user", {{"by", "device"}}}};
  }
  std::atomic<bool> fail{false};
};

// The JSON text inside a token, read with the ad server's decoder.
std::string Unpack(const std::string& token) {
  EXPECT_EQ(token.rfind("4:", 0), 0u) << token;
  return adserver::GzipDecompress(adserver::Base64Decode(token.substr(2)));
}

class MediationTokenTest : public ::testing::Test {
 protected:
  void SetUp() override { R::Clear(); }
  void TearDown() override { R::Clear(); }

  test::TempDir folder;
  MediationController mediation;
};

TEST_F(MediationTokenTest, MergesPrivacyDeviceAndSdkFragmentsInOrder) {
  R::SetCcpaController(std::make_shared<FakeCcpa>());
  R::SetCoppaController(std::make_shared<FakeCoppa>());
  R::SetGdprController(std::make_shared<FakeGdpr>());
  R::SetDeviceInfoController(std::make_shared<FakeDevice>());
  auto settings = std::make_shared<PersistentSettingsController>(folder.String());
  settings->SetConfigExtension("from-config");
  R::SetPersistentSettingsController(settings);

  const Json expected = {{"user",
                          {{"ccpa", {{"status", "opted_out"}}},
                           {"coppa", {{"is_coppa", true}}},
                           {"gdpr", {{"status", "opted_in"}}},
                           {"by", "device"}}},
                         {"device", {{"make", "Kestrel"}, {"model", "line\r\nend"}}},
                         {"ext", {{"config_extension", "from-config"}, {"ordinal_view", 1}}},
                         {"request", {{"sdk_user_agent", "TovaneWindows/7.0.1 (Windows 10; native)"}, {"kept", 1}}}};
  const std::string token = mediation.GetSuperToken("ignored");
  const std::string text = Unpack(token);
  EXPECT_EQ(Json::parse(text), expected);
  EXPECT_EQ(text, expected.dump());  // compact
  // Packed exactly as the server packs: same deflate settings, standard base64.
  EXPECT_EQ(token, "4:" + adserver::Base64Encode(adserver::GzipCompress(expected.dump())));
  // The argument plays no part, and nothing advances the ordinal.
  EXPECT_EQ(mediation.GetSuperToken("other"), token);
}

TEST_F(MediationTokenTest, AFailingFragmentLeavesTheTokenOfWhatCameBefore) {
  R::SetCcpaController(std::make_shared<FakeCcpa>());
  auto device = std::make_shared<FakeDevice>();
  device->fail = true;
  R::SetDeviceInfoController(device);
  test::LogCapture log;
  const Json expected = {{"user", {{"ccpa", {{"status", "opted_out"}}}, {"by", "ccpa"}}},
                         {"ext", {{"config_extension", "ccpa"}}}};
  EXPECT_EQ(Json::parse(Unpack(mediation.GetSuperToken(""))), expected);
  EXPECT_TRUE(log.Has("device probe failed", LogLevel::Error));

  // With no controller at all: only the SDK's own fragment.
  R::Clear();
  const Json own = Json::parse(Unpack(mediation.GetSuperToken("")));
  EXPECT_EQ(own, (Json{{"ext", {{"config_extension", ""}, {"ordinal_view", 1}}},
                       {"request", {{"sdk_user_agent", "TovaneWindows/7.0.1 (Windows 10; native)"}}}}));

  // Bytes that are not UTF-8 are replaced rather than costing the token.
  auto settings = std::make_shared<PersistentSettingsController>(folder.String());
  settings->SetConfigExtension("ext\xff");
  R::SetPersistentSettingsController(settings);
  EXPECT_EQ(Json::parse(Unpack(mediation.GetSuperToken("")))["ext"]["config_extension"], "ext\xef\xbf\xbd");
}

}  // namespace
}  // namespace kestrel
