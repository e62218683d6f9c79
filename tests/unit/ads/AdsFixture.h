#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ads/Clock.h"
#include "ads/PlacementController.h"
#include "ads/PlacementsController.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "storage/FileSystemController.h"
#include "support/TempDir.h"
#include "unit/ads/FakeRequestController.h"

namespace kestrel::test {

// An /ads body with one ad whose parts are the template archive and the given cacheable URLs.
inline std::string AdBody(const std::string& eventId, const std::string& templateUrl,
                          const std::vector<std::pair<std::string, std::string>>& cacheable = {},
                          const std::string& adType = "tovane_mraid") {
  nlohmann::json replacements = nlohmann::json::object();
  for (const auto& [name, url] : cacheable) replacements[name] = {{"url", url}, {"extension", "png"}};
  nlohmann::json markup = {
      {"id", eventId},
      {"adType", adType},
      {"templateURL", templateUrl},
      {"campaign", "camp|crea|x"},
      {"timestamp_delivered", "1700000000"},
      {"templateSettings", {{"normal_replacements", {{"TITLE", "t"}}}, {"cacheable_replacements", replacements}}},
      {"tpat", {{"impression", {"http://t/imp"}}}}};
  return nlohmann::json{{"ads", nlohmann::json::array({{{"ad_markup", markup}}})}}.dump();
}

inline std::string SleepBody(int seconds, const std::string& info) {
  return nlohmann::json{{"ads", nlohmann::json::array({{{"ad_markup", {{"sleep", seconds}, {"info", info}}}}})}}.dump();
}

// Real folders, placements and bundles around a fake request controller.
class AdsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ControllerRegistry::Clear();
    ControllerRegistry::SetFolderName("TovaneSDK");
    ControllerRegistry::SetRequestController(requests);
    files = std::make_shared<FileSystemController>("TovaneSDK");
    ControllerRegistry::SetFileSystemController(files);
    ControllerRegistry::SetPlacementsController(placements);
  }
  void TearDown() override {
    ControllerRegistry::Clear();
    Clock::Reset();
  }

  // The placement of that name, added when it is not there yet.
  PlacementController& Placement(const std::string& name, bool headerBidding = false) {
    if (!placements->FindPlacement(name))
      placements->AddPlacement(PlacementRecord{name, false, true, headerBidding, 0});
    return dynamic_cast<PlacementController&>(*placements->FindPlacement(name));
  }

  ScopedDataHome dataHome;
  std::shared_ptr<FakeRequestController> requests = std::make_shared<FakeRequestController>();
  std::shared_ptr<FileSystemController> files;
  std::shared_ptr<PlacementsController> placements = std::make_shared<PlacementsController>();
};

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

}  // namespace kestrel::test
