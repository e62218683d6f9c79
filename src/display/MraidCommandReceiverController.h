#pragma once

#include <future>
#include <string>

#include "display/IMraidCommandReceiverController.h"
#include "display/MraidCommand.h"

namespace kestrel {

// Checks each message a creative posts and performs its command. A command
// of the bridge is answered even when it is refused, so that the bridge's
// queue moves on; the refusal says why.
class MraidCommandReceiverController : public IMraidCommandReceiverController {
 public:
  // Opened by "openprivacy" when the creative names no page of its own.
  static constexpr const char* kDefaultPrivacyUrl = "https://privacy.kestrel-ads.example/";

  std::future<bool> Initialize() override;
  MraidAnswer ProcessReceivedMraidCommand(const std::string& message, DisplayAdController* ad) override;

 private:
  MraidAnswer Dispatch(const std::string& message, DisplayAdController* ad);
  // Each returns why nothing was opened; empty when the url was opened.
  static std::string OpenStoreUrl(const MraidCommand::Parameters& parameters);
  static std::string OpenPrivacyPage(const MraidCommand::Parameters& parameters);
};

}  // namespace kestrel
