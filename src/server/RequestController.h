#pragma once

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "net/IExchangeOwner.h"
#include "server/IRequestController.h"

namespace kestrel {

// Builds the SDK's requests, keeps them in a pending table until a sending
// pass takes them, sends each through the HTTP transport on an exchange
// thread and hands every response to the listeners, in the order they were
// added. No operation waits for the network.
//
// A task holds a reference to the controller when it is owned by a shared_ptr,
// so the registry may drop it while a request is still on its way.
class RequestController : public IRequestController,
                          public IExchangeOwner,
                          public std::enable_shared_from_this<RequestController> {
 public:
  RequestController();

  // Shares what a factory created. A RequestController shared this way can be
  // kept alive by its own tasks; one shared as its interface could not.
  static std::shared_ptr<IRequestController> Share(std::unique_ptr<IRequestController> created);

  std::future<bool> Initialize() override;
  std::future<void> RequestConfig() override;
  std::string RequestAd(const std::string& placementId, bool headerBidding) override;
  bool DownloadAdPart(const std::string& identifier, const std::string& partName, const std::string& eventId,
                      const std::string& partUrl, const std::string& folderName) override;
  bool QueueAdPart(const std::string& identifier, const std::string& partName, const std::string& eventId,
                   const std::string& partUrl, const std::string& folderName) override;
  std::future<bool> ProcessPendingRequests() override;
  std::future<void> SendTrackingUrl(const std::string& url,
                                    std::chrono::system_clock::time_point at = std::chrono::system_clock::now(),
                                    std::function<void()> onAnswered = {}) override;
  std::int32_t AddResponseListener(ResponseListener listener) override;
  void RemoveResponseListener(std::int32_t id) override;
  std::string GetConfigRequestName() override;
  std::string GetTpatRequestName() override;
  std::string JoinRequestName(const std::string& first, const std::string& second) override;

  // The response class follows the request's name: ConfigResponse, AdResponse, AssetResponse or ResponseBase.
  std::shared_ptr<ResponseBase> CreateResponse(const std::shared_ptr<RequestBase>& request) const override;
  // Calls every listener with the response, outside the lock; one that throws does not stop the others.
  void NotifyResponseListeners(const std::shared_ptr<ResponseBase>& response) override;
  // Puts the request into the pending table; the next pass sends it.
  void Enqueue(std::shared_ptr<RequestBase> request);

 private:
  void RunPass(const std::shared_ptr<std::promise<bool>>& answered);
  static constexpr std::size_t kExchangesAtOnce = 6;  // the exchange threads of the work queue
  // Tells the listeners that the request failed before it could be sent.
  void FailUnsent(const std::shared_ptr<RequestBase>& request, const std::string& why);
  // Enqueues the request and starts a sending pass.
  void Submit(std::shared_ptr<RequestBase> request);

  const std::string m_configRequestName;
  const std::string m_tpatRequestName;

  std::mutex m_pendingMutex;  // guards m_pendingRequests and the m_state and m_attempts of the requests in it
  std::unordered_map<std::string, std::shared_ptr<RequestBase>> m_pendingRequests;

  std::mutex m_listenersMutex;  // guards m_listeners and m_nextListenerId
  std::vector<std::pair<std::int32_t, ResponseListener>> m_listeners;
  std::int32_t m_nextListenerId = 0;
};

}  // namespace kestrel
