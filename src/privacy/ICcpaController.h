#pragma once

#include <cstdint>

#include "base/Forward.h"
#include "base/IBaseController.h"
#include "base/Statuses.h"

namespace kestrel {

// The CCPA choice.
class ICcpaController : public IBaseController {
 public:
  virtual void SetCcpaStatus(CcpaStatus status) = 0;
  virtual CcpaStatus GetCcpaStatus() = 0;
  virtual Json GetCcpaJson() = 0;
  virtual Json GetBidTokenCcpaJson() = 0;
  virtual void UpdateCcpaInRequest(RequestBase& request) = 0;
};

}  // namespace kestrel
