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
  // than "tovane_mraid". onDone runs once, when the bundle is complete or has failed.
  using DoneHandler = std::function<void(bool complete, const std::string& message)>;
  CreativeBundleController(const AdResponse& ad, const std::string& placementId, const std::string& folderName,
                           DoneHandler onDone = {});

  std::string GetFolderName() override;
  bool AllPartsDownloaded() override;
  void SetState(BundleState state) override;
  BundleState GetState() override;
  std::future<bool> DeleteAsync() override;
  std::string GetEventId() override;
  std::string GetCreativeId() override;
  std::string GetCampaignId() override;
  const AdResponse& GetAdResponse() const override { return m_ad; }

  // Queues every expected part and starts a sending pass; returns at once.
  // A part that cannot be requested fails the bundle.
  void StartDownload();
  // Fails the bundle unless it is complete or failed already: its parts still
  // on their way are not used.
  void Abandon(const std::string& message);

 private:
  const AdResponse m_ad;
  const std::shared_ptr<CreativeBundleModel> m_model;
  std::shared_ptr<MraidBundleLoaderController> m_loader;
  const std::string m_placementId;
  const std::string m_folderName;
};

}  // namespace kestrel
