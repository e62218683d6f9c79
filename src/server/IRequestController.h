#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// Builds the SDK's requests, sends them in passes and fans responses out to listeners.
class IRequestController : public IBaseController {
 public:
  virtual std::future<void> RequestConfig() = 0;
  // Queues the placement's /ads request and returns its request id at once;
  // the answer reaches the response listeners.
  virtual std::string RequestAd(const std::string& placementId, bool headerBidding) = 0;
  virtual bool DownloadAdPart(const std::string& identifier, const std::string& partName, const std::string& eventId,
                              const std::string& partUrl, const std::string& folderName) = 0;
  virtual std::future<bool> ProcessPendingRequests() = 0;
  // As DownloadAdPart, but the part waits for the next ProcessPendingRequests,
  // which sends the parts waiting together.
  virtual bool QueueAdPart(const std::string& identifier, const std::string& partName, const std::string& eventId,
                           const std::string& partUrl, const std::string& folderName) {
    return DownloadAdPart(identifier, partName, eventId, partUrl, folderName);
  }
  // The macros get the time `at`, that of the event. The future is satisfied
  // and `onAnswered` called once the exchange has ended, however it ended.
  virtual std::future<void> SendTrackingUrl(const std::string& url,
                                            std::chrono::system_clock::time_point at = std::chrono::system_clock::now(),
                                            std::function<void()> onAnswered = {}) = 0;
  virtual std::int32_t AddResponseListener(ResponseListener listener) = 0;
  virtual void RemoveResponseListener(std::int32_t id) = 0;
  virtual std::string GetConfigRequestName() = 0;
  virtual std::string GetTpatRequestName() = 0;
  virtual std::string JoinRequestName(const std::string& first, const std::string& second) = 0;
};

}  // namespace kestrel
