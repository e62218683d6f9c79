#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ads/ICreativeBundleController.h"
#include "server/AdResponse.h"

namespace kestrel {

class CreativeBundleModel;
class MraidBundleLoaderController;

// One ad's creative bundle: its parts are downloaded into
// creatives folder/folder name and unpacked there.
class CreativeBundleController : public ICreativeBundleController {
 public:
  static constexpr const char* kMraidAdType = "tovane_mraid";

  // Throws std::runtime_error("Not yet Implemented!") for an ad type other
  // than "tovane_mraid". onFailed runs once if a part fails.
  CreativeBundleController(const AdResponse& ad, const std::string& placementId, const std::string& folderName,
                           std::function<void()> onFailed = {});

  std::string GetFolderName() override;
  bool AllPartsDownloaded() override;
  void SetState(BundleState state) override;
  BundleState GetState() override;
  std::future<bool> DeleteAsync() override;
  std::string GetEventId() override;
  std::string GetCreativeId() override;
  std::string GetCampaignId() override;
  const AdResponse& GetAdResponse() const override { return m_ad; }

  // Requests every expected part, then runs a sending pass and waits for it.
  // A part that cannot be requested fails the bundle.
  void StartDownload();

 private:
  const AdResponse m_ad;
  const std::shared_ptr<CreativeBundleModel> m_model;
  std::shared_ptr<MraidBundleLoaderController> m_loader;
  const std::string m_placementId;
  const std::string m_folderName;
};

}  // namespace kestrel
