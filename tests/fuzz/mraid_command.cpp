// A message posted by a creative, as the MRAID command receiver takes it while
// no ad plays. URLs it would open are recorded instead of opened.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "display/CreativeUrl.h"
#include "display/MraidCommand.h"
#include "display/MraidCommandReceiverController.h"
#include "platform/PlatformServices.h"

using kestrel::MraidCommand;
using kestrel::fuzz::Require;

namespace {

class RecordingUrlOpener : public kestrel::IUrlOpener {
 public:
  void Open(const std::string& url) override { opened.push_back(url); }
  bool OpensStoreLinks() const override { return false; }
  std::vector<std::string> opened;
};

bool IsLowercase(const std::string& text) {
  return MraidCommand::Lowercase(text) == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::fuzz::SilenceLog();
  static const auto opener = [] {
    auto recording = std::make_shared<RecordingUrlOpener>();
    kestrel::PlatformServices::SetUrlOpener(recording);
    return recording;
  }();
  opener->opened.clear();

  const std::string message = kestrel::fuzz::Text(data, size);
  Require(IsLowercase(MraidCommand::Scheme(message)) && IsLowercase(MraidCommand::Name(message)),
          "a scheme or name not lower-cased");
  for (const auto& [key, value] : MraidCommand::ParseParameters(message)) {
    Require(key.find_first_of("?&=") == std::string::npos, "a parameter name holds a separator");
    Require(value.find_first_of("?&") == std::string::npos, "a parameter value holds a separator");
  }

  kestrel::MraidCommandReceiverController receiver;
  const bool handled = receiver.ProcessReceivedMraidCommand(message, nullptr).complete;
  Require(!handled || MraidCommand::Scheme(message) == "mraid", "a command other than mraid:// handled");
  for (const auto& url : opener->opened) {
    Require(kestrel::CreativeUrl::IsWebUrl(url), "a url other than http or https opened");
  }
  return 0;
}
