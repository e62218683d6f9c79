#pragma once

#include "privacy/ICoppaController.h"

namespace kestrel {

class CoppaController : public ICoppaController {
 public:
  std::future<bool> Initialize() override;
  Json GetCoppaJson() override;
  Json GetBidTokenCoppaJson() override;
  bool GetCoppaStatus() override;
  void SetCoppaStatus(bool status) override;
  void UpdateCoppaInRequest(RequestBase& request) override;
};

}  // namespace kestrel
