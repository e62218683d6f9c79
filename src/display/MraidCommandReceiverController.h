#pragma once

#include <future>
#include <memory>
#include <mutex>

#include "display/IMraidCommandReceiverController.h"
#include "display/MraidCommand.h"
#include "server/ITpatController.h"

namespace kestrel {

// Checks each message a creative posts and performs its command.
//
// Tracking hits ("tpat") wait on the network, so they are sent on a worker,
// one command after the other, and the creative's window never waits for
// them. Destroying the controller waits for the hits still on their way.
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
  void SendTpatAside(std::shared_ptr<ITpatController> tpat, std::shared_ptr<TpatsModel> model,
                     const MraidCommand::Parameters& parameters);

};

}  // namespace kestrel
