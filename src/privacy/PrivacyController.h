#pragma once

#include "privacy/IPrivacyController.h"

namespace kestrel {

// Withholds the device identifiers when the user's privacy choices restrict them.
class PrivacyController : public IPrivacyController {
 public:
  std::future<bool> Initialize() override;
  std::string FilterAdvertisingId(const std::string& id) override;
  std::string FilterHardwareId(const std::string& id) override;

 private:
  static bool IdentifiersRestricted();
};

}  // namespace kestrel
