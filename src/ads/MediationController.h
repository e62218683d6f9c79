#pragma once

#include <cstdint>
#include <mutex>

#include "ads/IMediationController.h"

namespace kestrel {

// Header bidding: the super token a mediation layer forwards to the ad
// server, and loading an ad from the winning bid's markup instead of /ads.
class MediationController : public IMediationController {
 public:
  std::future<bool> Initialize() override;
  // "4:" + base64(gzip(token JSON)); a contribution that fails is logged and
  // the token is built from what came before it. Empty only when compressing fails.
  std::string GetSuperToken(const std::string& argument) override;
  // Never null; text that is empty or not JSON gives an invalid markup (logged).
  std::shared_ptr<AdmForRealTime> ParseHeaderBiddingMarkup(const std::string& markup) override;
  // Hands the bid's ad unit to the placement as if /ads had answered with it;
  // the callbacks hear the outcome of the download too. False (logged, and
  // reported where a placement can be told) when the markup or placement is unusable.
  bool LoadMediatedAd(const std::string& placementId, const AdLoadCallback& callback,
                      const std::string& markup) override;
  std::shared_ptr<AdResponse> MakeAdResponse(const std::string& adUnit) override;

 private:
  std::mutex m_mutex;  // guards m_ordinal
  std::int32_t m_ordinal = 1;
};

}  // namespace kestrel
