#pragma once

#include <memory>
#include <string>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// Header bidding: the bid token and loading from a bid's markup.
class IMediationController : public IBaseController {
 public:
  virtual std::string GetSuperToken(const std::string& argument) = 0;
  virtual std::shared_ptr<AdmForRealTime> ParseHeaderBiddingMarkup(const std::string& markup) = 0;
  virtual bool LoadMediatedAd(const std::string& placementId, const AdLoadCallback& callback,
                              const std::string& markup) = 0;
  virtual std::shared_ptr<AdResponse> MakeAdResponse(const std::string& adUnit) = 0;
};

}  // namespace kestrel
