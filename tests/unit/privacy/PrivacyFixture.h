#pragma once

#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "config/PersistentSettingsController.h"
#include "privacy/CcpaController.h"
#include "privacy/CoppaController.h"
#include "privacy/GdprController.h"
#include "privacy/PrivacyController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/InitializationController.h"

namespace kestrel::test {

// The privacy controllers over real settings in a temporary folder.
class PrivacyFixture : public ::testing::Test {
 protected:
  using R = ControllerRegistry;

  void SetUp() override { Start(); }
  void TearDown() override { R::Clear(); }

  // One SDK start: fresh controllers whose settings read settings.ke anew.
  void Start() { StartOver(folder.String()); }

  void StartOver(const std::string& settingsFolder) {
    R::Clear();
    settings = std::make_shared<PersistentSettingsController>(settingsFolder);
    R::SetPersistentSettingsController(settings);
    R::SetInitializationController(std::make_shared<InitializationController>());
    gdpr = std::make_shared<GdprController>();
    R::SetGdprController(gdpr);
    ccpa = std::make_shared<CcpaController>();
    R::SetCcpaController(ccpa);
    coppa = std::make_shared<CoppaController>();
    R::SetCoppaController(coppa);
    privacy = std::make_shared<PrivacyController>();
    R::SetPrivacyController(privacy);
  }

  std::string SettingsFile() const { return ReadFile(folder.Path() / "settings.ke"); }

  TempDir folder;
  std::shared_ptr<PersistentSettingsController> settings;
  std::shared_ptr<GdprController> gdpr;
  std::shared_ptr<CcpaController> ccpa;
  std::shared_ptr<CoppaController> coppa;
  std::shared_ptr<PrivacyController> privacy;
};

}  // namespace kestrel::test
