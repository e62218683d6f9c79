#pragma once

#include "display/IMraidCommandReceiverController.h"
#include "display/MraidCommand.h"

namespace kestrel {

// Checks each message a creative posts and performs its command. Keeps no state.
class MraidCommandReceiverController : public IMraidCommandReceiverController {
 public:
  // Opened by "openprivacy" when the creative names no page of its own.
  static constexpr const char* kDefaultPrivacyUrl = "https://privacy.kestrel-ads.example/";

  std::future<bool> Initialize() override;
  bool ProcessReceivedMraidCommand(const std::string& message, DisplayAdController* ad) override;

 private:
  bool Dispatch(const std::string& message, DisplayAdController* ad);
  void OpenStoreUrl(const MraidCommand::Parameters& parameters);
  void OpenPrivacyPage(const MraidCommand::Parameters& parameters);
};

}  // namespace kestrel
