#include "server/RequestController.h"

#include <chrono>
#include <ctime>
#include <atomic>

#include <nlohmann/json.hpp>

#include "base/ControllerRegistry.h"
#include "base/IBaseController.h"
#include "base/WorkQueue.h"
#include "base/Log.h"
#include "base/Now.h"
#include "config/ConfigResponse.h"
#include "config/IEndpointController.h"
#include "net/AssetRequest.h"
#include "net/AssetResponse.h"
#include "net/HttpTransport.h"
#include "net/RequestHeaders.h"
#include "net/ServerRequests.h"
#include "net/TpatRequest.h"
#include "platform/Backend.h"
#include "platform/PlatformServices.h"
#include "privacy/ICcpaController.h"
#include "privacy/ICoppaController.h"
#include "server/AdResponse.h"
#include "server/ITpatController.h"
#include "server/RequestBodies.h"
#include "storage/FileSystemController.h"

namespace kestrel {
namespace {

constexpr const char* kConfigName = "_sdk_config";
constexpr const char* kTpatName = "_sdk_tpat";
constexpr const char* kTimestampMacro = "%timestamp%";

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Local time as yyyyMMddHHmmss followed by the milliseconds of the second, without leading zeros.
std::string TrackingTimestamp(std::chrono::system_clock::time_point at) {
  const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(sinceEpoch.count() / 1000);
  const std::tm local = ToLocalTime(seconds);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  return text + std::to_string(sinceEpoch.count() % 1000);
}

}  // namespace

RequestController::RequestController()
    : m_configRequestName(std::string(kConfigName) + kConfigName),
      m_tpatRequestName(std::string(kConfigName) + kTpatName) {}

std::shared_ptr<IRequestController> RequestController::Share(std::unique_ptr<IRequestController> created) {
  if (auto* concrete = dynamic_cast<RequestController*>(created.get())) {
    created.release();
    return std::shared_ptr<RequestController>(concrete);
  }
  return created;
}

std::future<bool> RequestController::Initialize() {
  return MakeReadyFuture(true);
}

std::future<void> RequestController::RequestConfig() {
  auto answered = std::make_shared<std::promise<void>>();
  auto future = answered->get_future();
  WorkQueue::Shared().Post([this, self = weak_from_this().lock(), answered] {
    auto request = std::make_shared<ServerRequests>();
    request->m_name = GetConfigRequestName();
    try {
      request->m_maxAttempts = 3;
      request->m_requestType = RequestBase::kJsonPost;
      ApplyStandardHeaders(*request);
      BuildCommonBody(*request);
      auto endpoints = ControllerRegistry::GetEndpointController();
      request->m_url = endpoints ? endpoints->GetConfigUrl() : std::string();
    } catch (const std::exception& e) {
      FailUnsent(request, e.what());
      answered->set_value();
      return;
    }
    request->m_onAnswered = [answered] { answered->set_value(); };
    Submit(std::move(request));
  });
  return future;
}

void RequestController::FailUnsent(const std::shared_ptr<RequestBase>& request, const std::string& why) {
  LogError("Couldn't build the request " + request->m_name + ": " + why);
  auto response = CreateResponse(request);
  response->m_status = ResponseBase::kFailed;
  response->m_text = why;
  NotifyResponseListeners(response);
}

std::string RequestController::RequestAd(const std::string& placementId, bool headerBidding) {
  auto request = std::make_shared<ServerRequests>();
  request->m_name = JoinRequestName(ControllerRegistry::GetFolderName(), "_" + placementId + "_ad_request");
  std::string id = request->m_requestId;
  // The body reads the device and the privacy choices: that is the queue's work, not the caller's.
  WorkQueue::Shared().Post([this, self = weak_from_this().lock(), request, placementId, headerBidding] {
    try {
      ApplyStandardHeaders(*request);
      BuildCommonBody(*request);
      MergeJson(request->m_body, BuildAdRequestObject(placementId, headerBidding));
      auto endpoints = ControllerRegistry::GetEndpointController();
      request->m_url = endpoints ? endpoints->GetAdsUrl() : std::string();
      // The parts follow the answer, most often from the same server: their connections open meanwhile.
      if (!request->m_url.empty()) PlatformServices::HttpClient()->Preconnect(request->m_url, kExchangesAtOnce - 1);
    } catch (const std::exception& e) {
      FailUnsent(request, e.what());
      return;
    }
    Submit(request);
  });
  return id;
}

bool RequestController::DownloadAdPart(const std::string& identifier, const std::string& partName,
                                       const std::string& eventId, const std::string& partUrl,
                                       const std::string& folderName) {
  if (!QueueAdPart(identifier, partName, eventId, partUrl, folderName)) return false;
  ProcessPendingRequests();
  return true;
}

bool RequestController::QueueAdPart(const std::string& identifier, const std::string& partName,
                                    const std::string& eventId, const std::string& partUrl,
                                    const std::string& folderName) {
  try {
    auto request = std::make_shared<AssetRequest>();
    request->m_saveToFile = true;
    request->m_requestType = RequestBase::kGet;
    request->m_maxAttempts = 3;
    ApplyStandardHeaders(*request);
    request->m_fileName = FileSystemController::PartFileName(partUrl);
    request->m_folderName = folderName;
    request->m_url = partUrl;
    request->m_partName = partName;
    request->m_eventId = eventId;
    request->m_name = JoinRequestName(ControllerRegistry::GetFolderName(), "_" + identifier + "_ad_part");
    Enqueue(std::move(request));
    return true;
  } catch (const std::exception& e) {
    LogException(e);
    return false;
  }
}

std::future<bool> RequestController::ProcessPendingRequests() {
  auto answered = std::make_shared<std::promise<bool>>();
  auto future = answered->get_future();
  WorkQueue::Shared().Post([this, self = weak_from_this().lock(), answered] { RunPass(answered); });
  return future;
}

std::future<void> RequestController::SendTrackingUrl(const std::string& url, std::chrono::system_clock::time_point at,
                                                     std::function<void()> onAnswered) {
  auto answered = std::make_shared<std::promise<void>>();
  auto future = answered->get_future();
  auto ended = [answered, onAnswered = std::move(onAnswered)] {
    try {
      if (onAnswered) onAnswered();
    } catch (const std::exception& e) {
      LogException(e);
    } catch (...) {
      LogError("Unknown exception after a tracking hit");
    }
    answered->set_value();
  };
  WorkQueue::Shared().Post([this, self = weak_from_this().lock(), url, at, ended] {
    try {
      std::string stamped = url;
      const auto macro = stamped.find(kTimestampMacro);
      if (macro != std::string::npos)
        stamped.replace(macro, std::char_traits<char>::length(kTimestampMacro), TrackingTimestamp(at));
      auto request = std::make_shared<TpatRequest>();
      ApplyStandardHeaders(*request);
      auto tpat = ControllerRegistry::GetTpatController();
      request->m_url = tpat ? tpat->ReplaceMacrosAt(stamped, at) : stamped;
      request->m_name = GetTpatRequestName();
      request->m_onAnswered = ended;
      Submit(std::move(request));
    } catch (const std::exception& e) {
      LogException(e);
      ended();
    }
  });
  return future;
}

std::int32_t RequestController::AddResponseListener(ResponseListener listener) {
  std::lock_guard lock(m_listenersMutex);
  const std::int32_t id = m_nextListenerId;
  m_listeners.emplace_back(id, std::move(listener));
  ++m_nextListenerId;
  return id;
}

void RequestController::RemoveResponseListener(std::int32_t id) {
  std::lock_guard lock(m_listenersMutex);
  std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
}

std::string RequestController::GetConfigRequestName() {
  return m_configRequestName;
}

std::string RequestController::GetTpatRequestName() {
  return m_tpatRequestName;
}

std::string RequestController::JoinRequestName(const std::string& first, const std::string& second) {
  return first + second;
}

std::shared_ptr<ResponseBase> RequestController::CreateResponse(const std::shared_ptr<RequestBase>& request) const {
  std::shared_ptr<ResponseBase> response;
  if (request->m_name == m_configRequestName) {
    response = std::make_shared<ConfigResponse>();
  } else if (EndsWith(request->m_name, "_ad_request")) {
    response = std::make_shared<AdResponse>();
  } else if (EndsWith(request->m_name, "ad_part")) {
    response = std::make_shared<AssetResponse>();
  } else {
    response = std::make_shared<ResponseBase>();
  }
  response->m_request = request;
  return response;
}

void RequestController::NotifyResponseListeners(const std::shared_ptr<ResponseBase>& response) {
  std::vector<ResponseListener> listeners;
  {
    std::lock_guard lock(m_listenersMutex);
    for (const auto& entry : m_listeners) listeners.push_back(entry.second);
  }
  for (const auto& listener : listeners) {
    try {
      if (listener) listener(response);
    } catch (const std::exception& e) {
      LogException(e);
    } catch (...) {
      LogError("Unknown exception in a response listener");
    }
  }
}

void RequestController::Enqueue(std::shared_ptr<RequestBase> request) {
  std::lock_guard lock(m_pendingMutex);
  const std::string id = request->m_requestId;
  m_pendingRequests[id] = std::move(request);
}

void RequestController::Submit(std::shared_ptr<RequestBase> request) {
  Enqueue(std::move(request));
  ProcessPendingRequests();
}

void RequestController::RunPass(const std::shared_ptr<std::promise<bool>>& answered) {
  try {
    std::vector<std::shared_ptr<RequestBase>> toSend;
    {
      // Taking a request and marking it happen in one step, so two passes never send the same request.
      std::lock_guard lock(m_pendingMutex);
      const std::int64_t now = NowTicks();
      std::vector<std::string> expired;
      for (const auto& [id, request] : m_pendingRequests) {
        if (request->m_state != RequestBase::kWaiting || request->m_dueTime > now) continue;
        request->m_state = RequestBase::kTaken;
        if (request->m_attempts++ < request->m_maxAttempts) {
          toSend.push_back(request);
        } else {
          expired.push_back(id);
        }
      }
      for (const auto& id : expired) m_pendingRequests.erase(id);
    }
    for (const auto& request : toSend) LogDebug("Pending request: " + request->m_url);

    // Each exchange runs on the exchange threads, a few at once, and leaves
    // the table once answered; nothing here waits for one. The pass's future
    // is satisfied when the last of them has been answered.
    if (toSend.empty()) {
      answered->set_value(true);
      return;
    }
    auto left = std::make_shared<std::atomic<std::size_t>>(toSend.size());
    for (const auto& request : toSend) {
      if (auto ccpa = ControllerRegistry::GetCcpaController()) ccpa->UpdateCcpaInRequest(*request);
      if (auto coppa = ControllerRegistry::GetCoppaController()) coppa->UpdateCoppaInRequest(*request);
      WorkQueue::Exchanges().Post([this, self = weak_from_this().lock(), request, left, answered] {
        try {
          ExecuteRequest(*this, request);
        } catch (const std::exception& e) {
          LogException(e);  // the request has ended all the same: what waits for it must hear so
        }
        {
          std::lock_guard lock(m_pendingMutex);
          m_pendingRequests.erase(request->m_requestId);
        }
        if (request->m_onAnswered) request->m_onAnswered();
        if (--*left == 0) answered->set_value(true);
      });
    }
  } catch (const std::exception& e) {
    LogException(e);
    answered->set_value(false);
  }
}

}  // namespace kestrel
