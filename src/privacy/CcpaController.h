#pragma once

#include "privacy/ICcpaController.h"

namespace kestrel {

class CcpaController : public ICcpaController {
 public:
  std::future<bool> Initialize() override;
  void SetCcpaStatus(std::int32_t status) override;
  std::int32_t GetCcpaStatus() override;
  Json GetCcpaJson() override;
  Json GetBidTokenCcpaJson() override;
  void UpdateCcpaInRequest(RequestBase& request) override;
};

}  // namespace kestrel
