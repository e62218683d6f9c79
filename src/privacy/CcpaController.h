#pragma once

#include <mutex>

#include "privacy/ICcpaController.h"

namespace kestrel {

// The publisher's CCPA choice, kept in the persisted settings.
class CcpaController : public ICcpaController {
 public:
  using enum CcpaStatus;

  std::future<bool> Initialize() override;
  void SetCcpaStatus(CcpaStatus status) override;
  CcpaStatus GetCcpaStatus() override;
  Json GetCcpaJson() override;
  Json GetBidTokenCcpaJson() override;
  void UpdateCcpaInRequest(RequestBase& request) override;

 private:
  // The wire text of the stored choice; the caller holds m_mutex.
  static const char* StatusText();

  std::mutex m_mutex;  // serialises the reads and writes of the stored choice
};

}  // namespace kestrel
