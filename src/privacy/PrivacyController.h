#pragma once

#include "privacy/IPrivacyController.h"

namespace kestrel {

class PrivacyController : public IPrivacyController {
 public:
  std::future<bool> Initialize() override;
  std::string FilterAdvertisingId(const std::string& id) override;
  std::string FilterHardwareId(const std::string& id) override;
};

}  // namespace kestrel
