#pragma once

#include "net/IRequestController.h"

namespace kestrel {

class RequestController : public IRequestController {
 public:
  std::future<bool> Initialize() override;
  std::future<void> RequestConfig() override;
  std::future<void> RequestAd(const std::string& placementId, bool headerBidding, AdLoadHandler onSuccess,
                              AdLoadHandler onFailure) override;
  bool DownloadAdPart(const std::string& identifier, const std::string& partName, const std::string& eventId,
                      const std::string& partUrl, const std::string& folderName) override;
  std::future<bool> ProcessPendingRequests() override;
  std::future<void> SendTrackingUrl(const std::string& url) override;
  std::int32_t AddResponseListener(ResponseListener listener) override;
  void RemoveResponseListener(std::int32_t id) override;
  std::string GetConfigRequestName() override;
  std::string GetTpatRequestName() override;
  std::string JoinRequestName(const std::string& first, const std::string& second) override;
};

}  // namespace kestrel
