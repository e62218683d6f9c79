#include "ads/MraidBundleLoaderController.h"

#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "ads/CreativeBundleModel.h"
#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "net/AssetRequest.h"
#include "net/AssetResponse.h"
#include "net/RequestBase.h"
#include "platform/Paths.h"
#include "server/AdResponse.h"
#include "server/IRequestController.h"
#include "storage/IFileSystemController.h"

namespace kestrel {

using R = ControllerRegistry;

std::shared_ptr<MraidBundleLoaderController> MraidBundleLoaderController::Create(
    const AdResponse& ad, std::shared_ptr<CreativeBundleModel> model, const std::string& placementId,
    const std::string& folderName, DoneHandler onDone) {
  std::shared_ptr<MraidBundleLoaderController> loader(
      new MraidBundleLoaderController(ad, std::move(model), placementId, folderName, std::move(onDone)));
  if (auto requests = R::GetRequestController()) {
    loader->m_requestName = requests->JoinRequestName(R::GetFolderName(), "_" + placementId + "_ad_part");
    // The listener holds the loader weakly: a response that arrives while the
    // bundle is being dropped finds either a live loader or none.
    std::weak_ptr<MraidBundleLoaderController> weak = loader;
    loader->m_listenerId = requests->AddResponseListener([weak](std::shared_ptr<ResponseBase> response) {
      if (auto self = weak.lock()) self->OnResponse(response);
    });
    loader->m_requests = requests;
    loader->m_registered.store(true);
  }
  return loader;
}

MraidBundleLoaderController::MraidBundleLoaderController(const AdResponse& ad,
                                                         std::shared_ptr<CreativeBundleModel> model,
                                                         const std::string& placementId, const std::string& folderName,
                                                         DoneHandler onDone)
    : m_model(std::move(model)), m_placementId(placementId), m_folderName(folderName), m_onDone(std::move(onDone)) {
  std::unordered_map<std::string, std::string> parts = {{"templateURL", ad.m_templateUrl}};
  for (const auto& [name, url] : ad.m_cacheableReplacements) {
    if (!url.empty()) parts[name] = url;
  }
  // Keyed by URL, so a URL that several parts share is fetched once.
  for (const auto& [name, url] : parts) m_model->AddExpectedPart(url, name);
}

MraidBundleLoaderController::~MraidBundleLoaderController() {
  try {
    StopListening();
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void MraidBundleLoaderController::StopListening() {
  if (!m_registered.exchange(false)) return;
  if (auto requests = m_requests.lock()) requests->RemoveResponseListener(m_listenerId);
}

void MraidBundleLoaderController::Fail(const std::string& message, const std::string& detail) {
  if (m_finished.exchange(true)) return;
  m_model->SetState(ICreativeBundleController::kFailed);
  {
    std::lock_guard lock(m_mutex);
    m_failure = detail.empty() ? message : message + ": " + detail;
  }
  m_failed.store(true);
  LogError(message);
}

void MraidBundleLoaderController::GiveUp(const std::string& message) {
  Fail(message);
  CleanUpAfterFailure();
}

void MraidBundleLoaderController::RecordAnswer(const std::string& url) {
  std::lock_guard lock(m_mutex);
  m_answered.insert(url);
}

bool MraidBundleLoaderController::AllAnswered() {
  const auto expected = m_model->ExpectedParts();
  std::lock_guard lock(m_mutex);
  for (const auto& part : expected) {
    if (m_answered.count(part.first) == 0) return false;
  }
  return true;
}

void MraidBundleLoaderController::CleanUpAfterFailure() {
  if (m_cleanedUp.exchange(true)) return;
  StopListening();
  // No part is being written any more, so nothing of the bundle comes back.
  if (auto files = R::GetFileSystemController(); files && !m_folderName.empty()) {
    files->DeleteFolder(JoinPath(files->GetCreativesFolder(), m_folderName));
  }
  std::string failure;
  {
    std::lock_guard lock(m_mutex);
    failure = m_failure;
  }
  if (m_onDone) m_onDone(false, failure);
}

bool MraidBundleLoaderController::HasIndexPage() const {
  auto files = R::GetFileSystemController();
  if (!files) return false;
  std::error_code error;
  return std::filesystem::is_regular_file(
      PathFromUtf8(JoinPath(JoinPath(files->GetCreativesFolder(), m_folderName), "index.html")), error);
}

void MraidBundleLoaderController::OnResponse(const std::shared_ptr<ResponseBase>& response) {
  try {
    if (!response || !response->m_request || response->m_request->m_name != m_requestName) return;
    // Every bundle of the placement shares the request name; the folder tells them apart.
    auto request = std::dynamic_pointer_cast<AssetRequest>(response->m_request);
    if (!request || request->m_folderName != m_folderName) return;
    RecordAnswer(request->m_url);
    Consider(response, *request);
    // Every call records before it looks, so the last one to look sees every answer.
    if (m_failed.load() && AllAnswered()) CleanUpAfterFailure();
  } catch (const std::exception& e) {
    LogException(e);
  }
}

void MraidBundleLoaderController::Consider(const std::shared_ptr<ResponseBase>& response, const AssetRequest& request) {
  auto asset = std::dynamic_pointer_cast<AssetResponse>(response);
  if (response->m_status == ResponseBase::kFailed) {
    if (asset && asset->m_notSaved) {
      Fail("Can't save the ad parts of " + m_folderName + ": " + response->m_text);
    } else {
      Fail("Didn't get ad part - got network error", response->m_text);
    }
    return;
  }
  // An error page is no part of the ad.
  const std::int32_t code = response->m_httpStatusCode;
  if (code < 200 || code > 299) {
    Fail("Didn't get ad part - got HTTP status " + std::to_string(code) + " for " + request.m_url);
    return;
  }
  if (!asset) return;

  m_model->RecordDownloadedPart(request.m_url, asset->m_savedFile);
  if (!m_model->AllPartsDownloaded()) return;
  if (!HasIndexPage()) {
    Fail("The ad parts of " + m_folderName + " hold no index.html");
    return;
  }
  if (m_finished.exchange(true)) return;
  StopListening();
  if (m_onDone) m_onDone(true, "Downloaded all Ad Parts");
}

}  // namespace kestrel
