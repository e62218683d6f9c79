#pragma once

#include <cstdint>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// The CCPA choice: 1 opted in, 2 opted out.
class ICcpaController : public IBaseController {
 public:
  virtual void SetCcpaStatus(std::int32_t status) = 0;
  virtual std::int32_t GetCcpaStatus() = 0;
  virtual Json GetCcpaJson() = 0;
  virtual Json GetBidTokenCcpaJson() = 0;
  virtual void UpdateCcpaInRequest(RequestBase& request) = 0;
};

}  // namespace kestrel
