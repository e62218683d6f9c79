#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "ads/ICreativeBundleController.h"

namespace kestrel {

// What a bundle knows while it downloads: its state, the parts it expects and
// the parts that have arrived. Safe to use from any thread.
class CreativeBundleModel {
 public:
  explicit CreativeBundleModel(const AdResponse& ad);

  const std::string& EventId() const { return m_eventId; }
  const std::string& AdType() const { return m_adType; }

  BundleState GetState() const { return m_state.load(); }
  void SetState(BundleState state) { m_state.store(state); }

  void AddExpectedPart(const std::string& url, const std::string& name);
  void RecordDownloadedPart(const std::string& url, const std::string& savedFile);
  std::unordered_map<std::string, std::string> ExpectedParts() const;  // URL to part name
  // True when every expected URL has a downloaded file (also when none is expected).
  bool AllPartsDownloaded() const;

 private:
  const std::string m_eventId;
  const std::string m_adType;
  std::atomic<BundleState> m_state{BundleState::kCreated};  // written from request threads
  mutable std::mutex m_mutex;                                              // guards the two maps
  std::unordered_map<std::string, std::string> m_expectedParts;            // URL to part name
  std::unordered_map<std::string, std::string> m_downloadedParts;          // URL to saved file
};

}  // namespace kestrel
