#pragma once

#include "sdk/Forward.h"
#include "sdk/IBaseController.h"

namespace kestrel {

// The COPPA flag.
class ICoppaController : public IBaseController {
 public:
  virtual Json GetCoppaJson() = 0;
  virtual Json GetBidTokenCoppaJson() = 0;
  virtual bool GetCoppaStatus() = 0;
  virtual void SetCoppaStatus(bool status) = 0;
  virtual void UpdateCoppaInRequest(RequestBase& request) = 0;
};

}  // namespace kestrel
