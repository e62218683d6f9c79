#include <gtest/gtest.h>

#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/ControllerWiring.h"
#include "sdk/SdkState.h"
#include "support/LogCapture.h"
#include "support/RecordingFactory.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;

const std::vector<std::string> kCreationOrder = {"FileSystem",
                                                 "PersistentSettings",
                                                 "Database",
                                                 "Request",
                                                 "Initialization",
                                                 "DeviceInfo",
                                                 "PublisherAppInfo",
                                                 "Privacy",
                                                 "Coppa",
                                                 "Gdpr",
                                                 "Ccpa",
                                                 "Endpoint",
                                                 "Placements",
                                                 "MraidBridgeProperties",
                                                 "MraidCommandReceiver",
                                                 "Tpat",
                                                 "Mediation"};

const std::vector<std::string> kInitializeOrder = {"PersistentSettings",
                                                   "FileSystem",
                                                   "Database",
                                                   "Request",
                                                   "Initialization",
                                                   "DeviceInfo",
                                                   "PublisherAppInfo",
                                                   "Privacy",
                                                   "Coppa",
                                                   "Gdpr",
                                                   "Ccpa",
                                                   "Endpoint",
                                                   "Placements",
                                                   "MraidBridgeProperties",
                                                   "MraidCommandReceiver"};

class WiringTest : public ::testing::Test {
 protected:
  void SetUp() override { SdkState::Reset(); }
  void TearDown() override { SdkState::Reset(); }

  void Wire() { WireControllers("app-1", nullptr, kSdkFolderName, std::make_shared<test::RecordingFactory>(journal)); }

  test::ScopedDataHome dataHome;
  std::shared_ptr<test::Journal> journal = std::make_shared<test::Journal>();
};

TEST_F(WiringTest, CreatesEveryControllerOnceInOrderAndLogsTheVersionOnce) {
  test::LogCapture log;
  EXPECT_EQ(R::GetFolderName(), "");
  EXPECT_EQ(R::GetPlacementsController(), nullptr);

  Wire();

  EXPECT_EQ(journal->Created(), kCreationOrder);
  EXPECT_EQ(R::GetFolderName(), "TovaneSDK");
  EXPECT_NE(R::GetCcpaController(), nullptr);
  EXPECT_NE(R::GetCoppaController(), nullptr);
  EXPECT_NE(R::GetDatabaseController(), nullptr);
  EXPECT_NE(R::GetDeviceInfoController(), nullptr);
  EXPECT_NE(R::GetEndpointController(), nullptr);
  EXPECT_NE(R::GetFileSystemController(), nullptr);
  EXPECT_NE(R::GetGdprController(), nullptr);
  EXPECT_NE(R::GetInitializationController(), nullptr);
  EXPECT_NE(R::GetMediationController(), nullptr);
  EXPECT_NE(R::GetMraidBridgePropertiesController(), nullptr);
  EXPECT_NE(R::GetMraidCommandReceiverController(), nullptr);
  EXPECT_NE(R::GetPersistentSettingsController(), nullptr);
  EXPECT_NE(R::GetPlacementsController(), nullptr);
  EXPECT_NE(R::GetPrivacyController(), nullptr);
  EXPECT_NE(R::GetPublisherAppInfoController(), nullptr);
  EXPECT_NE(R::GetRequestController(), nullptr);
  EXPECT_NE(R::GetTpatController(), nullptr);
  EXPECT_EQ(log.Count("Kestrel SDK Version 7.0.1", LogLevel::Info), 1);
  EXPECT_EQ(log.CountStartingWith("Kestrel SDK Version "), 1);
}

TEST_F(WiringTest, InitializesInItsOwnOrderSkippingTpatAndMediation) {
  Wire();
  InitializeControllers();
  EXPECT_EQ(journal->Initialized(), kInitializeOrder);
}

TEST_F(WiringTest, ThrowingInitializeStopsTheSequenceAndIsLogged) {
  journal->throwOnInitialize = "Database";
  Wire();
  test::LogCapture log;
  InitializeControllers();  // must not throw
  EXPECT_EQ(journal->Initialized(), (std::vector<std::string>{"PersistentSettings", "FileSystem", "Database"}));
  EXPECT_TRUE(log.Has("Database failed to initialize", LogLevel::Error));
}

TEST_F(WiringTest, EmptyEntriesAreLoggedAndSkipped) {
  Wire();
  R::SetDatabaseController(nullptr);
  R::SetGdprController(nullptr);
  test::LogCapture log;
  InitializeControllers();
  EXPECT_TRUE(log.Has("DatabaseController is null!", LogLevel::Error));
  EXPECT_TRUE(log.Has("GdprController is null!", LogLevel::Error));
  auto expected = kInitializeOrder;
  std::erase(expected, "Database");
  std::erase(expected, "Gdpr");
  EXPECT_EQ(journal->Initialized(), expected);
}

TEST_F(WiringTest, EveryEntryEmptyLogsEveryMessage) {
  test::LogCapture log;
  InitializeControllers();
  for (const char* name :
       {"PersistentSettingsController", "FileSystemController", "DatabaseController", "RequestController",
        "InitializationController", "DeviceInfoController", "PublisherAppInfoController", "PrivacyController",
        "CoppaController", "GdprController", "CcpaController", "EndpointController", "PlacementsController",
        "MraidBridgePropertiesController", "MraidCommandReceiverController"}) {
    EXPECT_TRUE(log.Has(std::string(name) + " is null!", LogLevel::Error)) << name;
  }
}

}  // namespace
}  // namespace kestrel
