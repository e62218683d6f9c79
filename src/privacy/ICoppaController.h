#pragma once

#include "base/Forward.h"
#include "base/IBaseController.h"

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
