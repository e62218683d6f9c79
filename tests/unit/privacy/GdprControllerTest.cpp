#include "support/TestPrelude.h"

#include "PrivacyFixture.h"
#include "config/ConfigResponse.h"

namespace kestrel {
namespace {

std::string Fragment(const std::string& status, const std::string& source, const std::string& version,
                     std::int32_t timestamp) {
  return R"({"user":{"gdpr":{"consent_message_version":")" + version + R"(","consent_source":")" + source +
         R"(","consent_status":")" + status + R"(","consent_timestamp":)" + std::to_string(timestamp) + "}}}";
}

void ApplyConfig(IGdprController& gdpr, const std::string& document) {
  gdpr.GetGdprSettingsFromConfigResponse(std::make_shared<ConfigResponse>(),
                                         std::make_shared<const Json>(Json::parse(document)));
}

const char* kGdprConfig = R"({"gdpr":{"is_country_data_protected":true,"consent_title":"T","consent_message":"M",
  "consent_message_version":"v5","button_accept":"Yes","button_deny":"No"}})";

class GdprControllerTest : public test::PrivacyFixture {};

TEST_F(GdprControllerTest, VersionIsSentOnlyWhenMeaningful) {
  gdpr->SetConsentStatus(GdprController::kOptedOut, " \t ");
  EXPECT_EQ(gdpr->GetGdprJson()["user"]["gdpr"]["consent_message_version"], "");
  EXPECT_EQ(gdpr->GetGdprJson()["user"]["gdpr"]["consent_status"], "opted_out");

  // Storing "no consent" clears the time and the version.
  gdpr->SetConsentStatus(GdprController::kUnknown, "v3");
  EXPECT_EQ(gdpr->GetGdprJson().dump(), Fragment("unknown", "publisher", "", 0));

  // Values of a damaged settings file.
  settings->SetGdprConsentStatus(9);
  settings->SetGdprConsentSource(7);
  settings->SetGdprConsentMessageVersion("v4");
  LogCapture log;
  EXPECT_EQ(gdpr->GetGdprJson().dump(), Fragment("unknown", "publisher", "v4", 0));
  EXPECT_TRUE(log.Has("Unknown GDPR Consent Source: 7", LogLevel::Error));
}

TEST_F(GdprControllerTest, ConfigBlockSetsFlagTextsAndServerVersion) {
  LogCapture log;
  std::vector<bool> seen;
  gdpr->AddGdprEnabledListener([&](bool enabled) { seen.push_back(enabled); });
  EXPECT_FALSE(gdpr->IsConsentRequired());

  gdpr->GetGdprSettingsFromConfigResponse(nullptr, std::make_shared<const Json>(Json::parse(kGdprConfig)));
  EXPECT_TRUE(log.Has("GetGdprSettingsFromConfigResponse called with null response or parser", LogLevel::Error));
  EXPECT_TRUE(seen.empty());

  ApplyConfig(*gdpr, kGdprConfig);
  EXPECT_EQ(seen, std::vector<bool>{true});
  EXPECT_TRUE(gdpr->IsConsentRequired());
  EXPECT_EQ(gdpr->GetConsentTitleText(), "T");
  EXPECT_EQ(gdpr->GetConsentBodyText(), "M");
  EXPECT_EQ(gdpr->GetConsentAcceptButtonText(), "Yes");
  EXPECT_EQ(gdpr->GetConsentDenyButtonText(), "No");
  EXPECT_EQ(settings->GetGdprLastConsentMessageVersionFromServer(), "v5");
  EXPECT_TRUE(log.Has("Setting to Consent Message Version to v5", LogLevel::Info));

  gdpr->SetConsentStatus(GdprController::kOptedIn, "v5");
  EXPECT_FALSE(gdpr->IsConsentRequired());

  // Without a "gdpr" block everything falls back to its default.
  log.Clear();
  ApplyConfig(*gdpr, R"({"placements":[]})");
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  EXPECT_FALSE(gdpr->IsGdprEnabled());
  EXPECT_EQ(gdpr->GetConsentTitleText(), "");
  EXPECT_EQ(settings->GetGdprLastConsentMessageVersionFromServer(), "");
  EXPECT_GE(log.CountStartingWith("key 'gdpr' not found"), 1);
}

TEST_F(GdprControllerTest, ListenersRunOutsideTheLockAndStopAtAFailure) {
  LogCapture log;
  bool readFromOtherThread = false;
  int lastCalled = 0;
  gdpr->AddGdprEnabledListener([&](bool) {
    // Another thread needs the lock; it cannot get it while the caller still holds it.
    auto answer = std::make_shared<std::promise<bool>>();
    auto other = answer->get_future();
    std::thread([controller = gdpr, answer] { answer->set_value(controller->IsGdprEnabled()); }).detach();
    readFromOtherThread = other.wait_for(std::chrono::seconds(30)) == std::future_status::ready && other.get();
    lastCalled = 1;
  });
  gdpr->AddGdprEnabledListener([&](bool) {
    lastCalled = 2;
    throw std::runtime_error("listener failed");
  });
  gdpr->AddGdprEnabledListener([&](bool) { lastCalled = 3; });

  gdpr->SetGdprEnabled(true);
  EXPECT_TRUE(readFromOtherThread);
  EXPECT_EQ(lastCalled, 2);
  EXPECT_TRUE(log.Has("listener failed", LogLevel::Error));
  EXPECT_TRUE(gdpr->IsGdprEnabled());
}

TEST_F(GdprControllerTest, ABadDialogAnswerChangesNothing) {
  ApplyConfig(*gdpr, kGdprConfig);
  gdpr->StartConsentTimeoutWatch();
  LogCapture log;
  for (const char* bad : {R"("opted_in")", R"({})", R"({"event":null})", R"({"version":"v1"})"}) {
    gdpr->HandleMraidConsentAction(Json::parse(bad));
  }
  EXPECT_EQ(
      log.Count("HandleMraidConsentAction called with null commandParams or missing 'event' key", LogLevel::Error), 4);
  gdpr->HandleMraidConsentAction(Json{{"event", "Maybe"}, {"version", "v1"}});
  EXPECT_TRUE(log.Has("Unknown GDPR Consent Status received from MRAID: Maybe", LogLevel::Error));
  EXPECT_TRUE(gdpr->IsConsentStatusUnknown());
  EXPECT_TRUE(settings->GetWatchForGDPRTimeout());
  EXPECT_EQ(settings->GetGdprLastConsentMessageVersionFromServer(), "v5");
}

// An ad shows the dialog (the watch starts), something happens, and the SDK starts again.
TEST_F(GdprControllerTest, TheDialogsAnswerOrItsTimeOutIsStoredOnce) {
  struct Row {
    const char* name;
    bool gdprApplies;
    std::function<void(IGdprController&)> meanwhile;
    const char* status;
    const char* source;
    const char* version;
  };
  const Row rows[] = {
      {"no answer", true, [](IGdprController&) {}, "opted_out_by_timeout", "tovane_modal", "v5"},
      {"an answer", true, [](IGdprController& g) { g.HandleMraidConsentAction(Json{{"event", "OPTED_IN"}}); },
       "opted_in", "tovane_modal", "v5"},
      {"an answer naming its version, then a reset and an answer without",
       true,
       [](IGdprController& g) {
         g.HandleMraidConsentAction(Json{{"event", "opted_in"}, {"version", "v9"}});
         EXPECT_EQ(g.GetGdprJson()["user"]["gdpr"]["consent_message_version"], "v9");
         g.ResetConsentStatusToUnknown();
         g.HandleMraidConsentAction(Json{{"event", "opted_out"}, {"version", " "}});
       },
       "opted_out", "tovane_modal", "v5"},
      {"outside GDPR", false, [](IGdprController&) {}, "unknown", "publisher", ""},
      {"the publisher's choice", true,
       [](IGdprController& g) { g.SetConsentStatus(GdprController::kOptedIn, "p1"); }, "opted_in", "publisher",
       "p1"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    gdpr->ResetConsentStatusToUnknown();
    ApplyConfig(*gdpr, row.gdprApplies ? kGdprConfig : R"({"gdpr":{"is_country_data_protected":false,
      "consent_message_version":"v5"}})");
    gdpr->StartConsentTimeoutWatch();
    row.meanwhile(*gdpr);
    gdpr->CheckConsentTimeout();
    const Json consent = gdpr->GetGdprJson()["user"]["gdpr"];
    EXPECT_EQ(consent["consent_status"], row.status);
    EXPECT_EQ(consent["consent_source"], row.source);
    EXPECT_EQ(consent["consent_message_version"], row.version);
    EXPECT_EQ(settings->GetGdprLastConsentMessageVersionFromServer(), "v5");
    EXPECT_FALSE(settings->GetWatchForGDPRTimeout());
  }
}

TEST_F(GdprControllerTest, FragmentNeverShowsAHalfStoredConsent) {
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20; ++i) {
      gdpr->SetConsentStatus(GdprController::kOptedIn, "v1");
      gdpr->ResetConsentStatusToUnknown();
    }
    done = true;
  });
  int torn = 0;
  while (!done) {
    const Json consent = gdpr->GetGdprJson()["user"]["gdpr"];
    const bool unknown = consent["consent_status"] == "unknown";
    if (unknown != (consent["consent_timestamp"] == 0)) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace kestrel
