#pragma once

#include "server/ITpatController.h"

namespace kestrel {

// Fires the tracking URLs of an event through the request controller. No state.
class TpatController : public ITpatController {
 public:
  std::future<bool> Initialize() override;
  void SendTpat(std::shared_ptr<TpatsModel> model,
                const std::unordered_map<std::string, std::string>& parameters) override;
  std::string ReplaceMacros(const std::string& url) override;

  // Every occurrence of `from` replaced by `to`, left to right; the inserted
  // text is never scanned again. An empty `from` changes nothing.
  static std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);
};

}  // namespace kestrel
