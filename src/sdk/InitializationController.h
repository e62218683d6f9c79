#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "base/IInitializationController.h"

namespace kestrel {

class IRequestController;

// Fetches the configuration with /config, applies it and tells the outcome
// through the callbacks, once per InitializeWithCallbacks, on the thread that
// learned it. Each call sends /config again, so a failed start can be retried.
class InitializationController : public IInitializationController {
 public:
  InitializationController();
  ~InitializationController() override;
  std::future<bool> Initialize() override;
  std::future<bool> InitializeWithCallbacks(std::string appId, std::string configText,
                                            InitializationSuccessHandler onSuccess,
                                            InitializationFailureHandler onFailure) override;
  bool GetHeartbeatCheckEnabled() override;
  bool GetPlatformDisabledAdId() override;
  void SetPlatformDisabledAdId(bool disabled) override;
  Json GetExtJson() override;
  std::vector<PlacementRecord> GetPlacements() override;

 private:
  void OnDeadline(std::uint64_t attempt);
  void OnResponse(const std::shared_ptr<ResponseBase>& response);
  void ApplyConfig(const std::shared_ptr<ConfigResponse>& response);
  void Fail(const std::string& message, std::exception_ptr exception = nullptr);

  // Registers the response listener once, with the request controller of the first attempt.
  void Listen(const std::shared_ptr<IRequestController>& requests);

  std::optional<std::int32_t> m_listenerId;    // guarded by m_mutex
  std::weak_ptr<IRequestController> m_requests;  // guarded by m_mutex
  std::atomic<bool> m_awaiting{false};  // a /config answer is awaited; the first to clear it handles the outcome
  std::atomic<std::uint64_t> m_attempt{0};

  std::mutex m_mutex;  // guards the members below
  InitializationSuccessHandler m_onSuccess;
  InitializationFailureHandler m_onFailure;
  std::vector<PlacementRecord> m_placements;  // of the last applied configuration
  bool m_heartbeatCheckEnabled = false;
  std::int32_t m_refreshTime = 0;  // stored for the interface; nothing reads it
};

}  // namespace kestrel
