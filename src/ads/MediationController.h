#pragma once

#include "ads/IMediationController.h"

namespace kestrel {

class MediationController : public IMediationController {
 public:
  std::future<bool> Initialize() override;
  std::string GetSuperToken(const std::string& argument) override;
  std::shared_ptr<AdmForRealTime> ParseHeaderBiddingMarkup(const std::string& markup) override;
  bool LoadMediatedAd(const std::string& placementId, const AdLoadCallback& callback,
                      const std::string& markup) override;
  std::shared_ptr<AdResponse> MakeAdResponse(const std::string& adUnit) override;
};

}  // namespace kestrel
