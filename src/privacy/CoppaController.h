#pragma once

#include <mutex>

#include "privacy/ICoppaController.h"

namespace kestrel {

// The publisher's COPPA flag, kept in the persisted settings; it may never have been set.
class CoppaController : public ICoppaController {
 public:
  std::future<bool> Initialize() override;
  Json GetCoppaJson() override;
  Json GetBidTokenCoppaJson() override;
  bool GetCoppaStatus() override;
  void SetCoppaStatus(bool status) override;
  void UpdateCoppaInRequest(RequestBase& request) override;

 private:
  std::mutex m_mutex;  // keeps the presence and the value of the flag together
};

}  // namespace kestrel
