#pragma once

#include <string>

namespace kestrel {

// What the ad being shown reports to the placement that plays it.
class IAdPlayEvents {
 public:
  virtual void NotifyAdClicked() = 0;
  virtual void NotifyAdClosed() = 0;
  virtual void NotifyAdRewarded() = 0;
  virtual void NotifyAdPlayFailed(const std::string& message) = 0;

 protected:
  ~IAdPlayEvents() = default;
};

}  // namespace kestrel
