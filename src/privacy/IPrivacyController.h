#pragma once

#include <string>

#include "base/IBaseController.h"

namespace kestrel {

// Decides whether the device identifiers may leave the device.
class IPrivacyController : public IBaseController {
 public:
  virtual std::string FilterAdvertisingId(const std::string& id) = 0;
  virtual std::string FilterHardwareId(const std::string& id) = 0;
};

}  // namespace kestrel
