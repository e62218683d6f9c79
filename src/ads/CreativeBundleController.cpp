#include "ads/CreativeBundleController.h"

#include <stdexcept>

#include "ads/CreativeBundleModel.h"
#include "ads/MraidBundleLoaderController.h"
#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "base/WorkQueue.h"
#include "platform/Paths.h"
#include "server/IRequestController.h"
#include "storage/IFileSystemController.h"

namespace kestrel {

using R = ControllerRegistry;

CreativeBundleController::CreativeBundleController(const AdResponse& ad, const std::string& placementId,
                                                   const std::string& folderName, DoneHandler onDone)
    : m_ad(ad),
      m_model(std::make_shared<CreativeBundleModel>(ad)),
      m_placementId(placementId),
      m_folderName(folderName) {
  if (ad.m_adType != kMraidAdType) throw std::runtime_error("Not yet Implemented!");
  m_loader = MraidBundleLoaderController::Create(ad, m_model, placementId, folderName, std::move(onDone));
}

std::string CreativeBundleController::GetFolderName() {
  return m_folderName;
}

bool CreativeBundleController::AllPartsDownloaded() {
  return m_model->GetState() != kFailed && m_model->AllPartsDownloaded();
}

void CreativeBundleController::SetState(BundleState state) {
  m_model->SetState(state);
}

BundleState CreativeBundleController::GetState() {
  return m_model->GetState();
}

std::future<bool> CreativeBundleController::DeleteAsync() {
  auto deleted = std::make_shared<std::promise<bool>>();
  auto future = deleted->get_future();
  WorkQueue::Shared().Post([folder = m_folderName, deleted] {
    bool done = false;
    try {
      auto files = R::GetFileSystemController();
      // An empty name would be the creatives folder itself.
      if (files && !folder.empty()) {
        files->DeleteFolder(JoinPath(files->GetCreativesFolder(), folder));
        done = true;
      }
    } catch (const std::exception& e) {
      LogException(e);
    }
    deleted->set_value(done);
  });
  return future;
}

void CreativeBundleController::Abandon(const std::string& message) {
  m_loader->Fail(message);
}

std::string CreativeBundleController::GetEventId() {
  if (m_model->EventId().empty()) LogError("Tried to get event id, but didn't have a bundle!");
  return m_model->EventId();
}

std::string CreativeBundleController::GetCreativeId() {
  if (m_ad.m_creativeId.empty()) LogError("Tried to get creative id, but didn't have a bundle!");
  return m_ad.m_creativeId;
}

std::string CreativeBundleController::GetCampaignId() {
  if (m_ad.m_campaignId.empty()) LogError("Tried to get campaign id, but didn't have a bundle!");
  return m_ad.m_campaignId;
}

void CreativeBundleController::StartDownload() {
  try {
    auto requests = R::GetRequestController();
    if (!requests) {
      m_loader->GiveUp("Can't download the ad parts of " + m_folderName + " without a RequestController.");
      return;
    }
    for (const auto& [url, name] : m_model->ExpectedParts()) {
      if (m_model->GetState() == kFailed) return;
      if (!requests->QueueAdPart(m_placementId, name, m_model->EventId(), url, m_folderName)) {
        m_loader->GiveUp("Couldn't request ad part " + name + " from " + url);
        return;
      }
    }
    requests->ProcessPendingRequests();
  } catch (const std::exception& e) {
    LogException(e);
    m_loader->GiveUp("Couldn't download the ad parts of " + m_folderName);
  }
}

}  // namespace kestrel
