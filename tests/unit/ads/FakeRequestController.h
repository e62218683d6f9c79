#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "server/AdResponse.h"
#include "net/AssetRequest.h"
#include "net/AssetResponse.h"
#include "server/IRequestController.h"
#include "net/ServerRequests.h"
#include "platform/Paths.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "storage/IFileSystemController.h"

namespace kestrel::test {

// Stands in for the request controller: records the requests and answers
// them through the listeners, on the calling thread before the call returns,
// as the real controller's waiting passes do. Parts can be held back and
// answered by the test.
class FakeRequestController : public IRequestController {
  template <typename Fn>
  auto Locked(Fn&& fn) {
    std::lock_guard lock(m_mutex);
    return fn();
  }

 public:
  struct AdCall {
    std::string placementId;
    bool headerBidding = false;
  };
  struct PartCall {
    std::string identifier, partName, eventId, url, folderName;
  };
  struct Answer {
    int httpStatus = 200;
    bool networkError = false;
    std::string body;  // the /ads body
  };

  // The /ads answer; none leaves /ads requests unanswered.
  void AnswerAds(std::optional<Answer> answer) {
    Locked([&] { m_adsAnswer = std::move(answer); });
  }
  // Answers for part URLs; other parts get 200, unless parts are held.
  void AnswerPart(const std::string& url, Answer answer) {
    Locked([&] { m_partAnswers[url] = std::move(answer); });
  }
  void HoldParts(bool hold) {
    Locked([&] { m_holdParts = hold; });
  }

  std::vector<AdCall> AdCalls() {
    return Locked([&] { return m_adCalls; });
  }
  std::vector<PartCall> PartCalls() {
    return Locked([&] { return m_partCalls; });
  }
  std::vector<std::string> TrackingUrls() {
    return Locked([&] { return m_trackingUrls; });
  }
  std::size_t ListenerCount() {
    return Locked([&] { return m_listeners.size(); });
  }

  // Delivers a response to the part request, as the transport would: a
  // good part is written into its bundle folder, and a ".zip" part leaves
  // the creative's index.html beside it.
  void DeliverPart(const PartCall& part, const Answer& answer) {
    auto request = std::make_shared<AssetRequest>();
    request->m_name = JoinRequestName(ControllerRegistry::GetFolderName(), "_" + part.identifier + "_ad_part");
    request->m_url = part.url;
    request->m_folderName = part.folderName;
    request->m_fileName = part.url.substr(part.url.find_last_of('/') + 1);
    auto response = std::make_shared<AssetResponse>();
    response->m_request = request;
    response->m_status = answer.networkError ? ResponseBase::kFailed : ResponseBase::kCompleted;
    response->m_httpStatusCode = answer.networkError ? 0 : answer.httpStatus;
    if (auto files = ControllerRegistry::GetFileSystemController(); files && !answer.networkError) {
      const std::filesystem::path folder = JoinPath(files->GetCreativesFolder(), part.folderName);
      std::filesystem::create_directories(folder);
      response->m_savedFile = (folder / request->m_fileName).string();
      std::ofstream(response->m_savedFile) << "part";
      if (request->m_fileName.ends_with(".zip")) std::ofstream(folder / "index.html") << "<html></html>";
    }
    Deliver(response);
  }

  void Deliver(const std::shared_ptr<ResponseBase>& response) {
    auto listeners = Locked([&] { return m_listeners; });
    for (const auto& [id, listener] : listeners) listener(response);
  }

  std::future<bool> Initialize() override { return MakeReadyFuture(true); }
  std::future<void> RequestConfig() override { return Done(); }

  std::future<void> RequestAd(const std::string& placementId, bool headerBidding, AdLoadHandler onSuccess,
                              AdLoadHandler onFailure) override {
    auto answer = Locked([&] {
      m_adCalls.push_back({placementId, headerBidding});
      return m_adsAnswer;
    });
    if (answer) {
      auto request = std::make_shared<ServerRequests>();
      request->m_name = JoinRequestName(ControllerRegistry::GetFolderName(), "_" + placementId + "_ad_request");
      request->m_onSuccess = std::move(onSuccess);
      request->m_onFailure = std::move(onFailure);
      auto response = std::make_shared<AdResponse>();
      response->m_request = request;
      response->m_status = answer->networkError ? ResponseBase::kFailed : ResponseBase::kCompleted;
      response->m_httpStatusCode = answer->networkError ? 0 : answer->httpStatus;
      response->m_text = answer->body;
      Deliver(response);
    }
    return Done();
  }

  bool DownloadAdPart(const std::string& identifier, const std::string& partName, const std::string& eventId,
                      const std::string& partUrl, const std::string& folderName) override {
    PartCall part{identifier, partName, eventId, partUrl, folderName};
    auto answer = Locked([&]() -> std::optional<Answer> {
      m_partCalls.push_back(part);
      if (auto it = m_partAnswers.find(partUrl); it != m_partAnswers.end()) return it->second;
      if (m_holdParts) return std::nullopt;
      return Answer{};
    });
    if (answer) DeliverPart(part, *answer);
    return true;
  }

  std::future<bool> ProcessPendingRequests() override { return MakeReadyFuture(true); }

  std::future<void> SendTrackingUrl(const std::string& url) override {
    Locked([&] { m_trackingUrls.push_back(url); });
    return Done();
  }

  std::int32_t AddResponseListener(ResponseListener listener) override {
    return Locked([&] {
      m_listeners.emplace_back(m_nextId, std::move(listener));
      return m_nextId++;
    });
  }

  void RemoveResponseListener(std::int32_t id) override {
    Locked([&] { std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; }); });
  }

  std::string GetConfigRequestName() override { return "_sdk_config_sdk_config"; }
  std::string GetTpatRequestName() override { return "_sdk_config_sdk_tpat"; }
  std::string JoinRequestName(const std::string& first, const std::string& second) override { return first + second; }

 private:
  static std::future<void> Done() {
    std::promise<void> promise;
    promise.set_value();
    return promise.get_future();
  }

  std::mutex m_mutex;
  std::optional<Answer> m_adsAnswer;
  std::map<std::string, Answer> m_partAnswers;
  bool m_holdParts = false;
  std::vector<AdCall> m_adCalls;
  std::vector<PartCall> m_partCalls;
  std::vector<std::string> m_trackingUrls;
  std::vector<std::pair<std::int32_t, ResponseListener>> m_listeners;
  std::int32_t m_nextId = 0;
};

}  // namespace kestrel::test
