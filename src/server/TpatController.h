#pragma once

#include <chrono>
#include <memory>

#include "server/ITpatController.h"
#include "server/TrackingChains.h"

namespace kestrel {

// Fires the tracking URLs of an event through the request controller and
// returns at once. The hits of one play to one host leave in order, each once
// the one before has been answered; other plays and hosts do not wait for them.
class TpatController : public ITpatController {
 public:
  std::future<bool> Initialize() override;
  // The macros get the time of this call, however long the hits wait.
  void SendTpat(std::shared_ptr<TpatsModel> model,
                const std::unordered_map<std::string, std::string>& parameters) override;
  std::string ReplaceMacros(const std::string& url) override;
  std::string ReplaceMacrosAt(const std::string& url, std::chrono::system_clock::time_point at) override;

  // Every occurrence of `from` replaced by `to`, left to right; the inserted
  // text is never scanned again. An empty `from` changes nothing.
  static std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

 private:
  const std::shared_ptr<TrackingChains> m_chains = std::make_shared<TrackingChains>();
};

}  // namespace kestrel
