#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sdk/Forward.h"

namespace kestrel {

class CreativeBundleModel;
class IRequestController;

// Follows the downloads of one bundle's parts: records each part that
// arrives, reports the complete bundle to the placements controller, and
// marks the bundle failed when a part fails or the complete bundle has no
// index.html to show (a damaged archive).
class MraidBundleLoaderController {
 public:
  // Adds the ad's parts (the template URL and every cacheable replacement
  // with a URL, each URL once) to the model's expected parts and starts
  // listening for their responses. onFailed runs once when the bundle fails.
  static std::shared_ptr<MraidBundleLoaderController> Create(const AdResponse& ad,
                                                             std::shared_ptr<CreativeBundleModel> model,
                                                             const std::string& placementId,
                                                             const std::string& folderName,
                                                             std::function<void()> onFailed);
  ~MraidBundleLoaderController();
  MraidBundleLoaderController(const MraidBundleLoaderController&) = delete;
  MraidBundleLoaderController& operator=(const MraidBundleLoaderController&) = delete;

  // Marks the bundle failed (state 5) and stops listening; only the first
  // completion or failure counts.
  void Fail(const std::string& message);
  const std::string& GetRequestName() const { return m_requestName; }

 private:
  MraidBundleLoaderController(const AdResponse& ad, std::shared_ptr<CreativeBundleModel> model,
                              const std::string& placementId, const std::string& folderName,
                              std::function<void()> onFailed);
  void OnResponse(const std::shared_ptr<ResponseBase>& response);
  bool HasIndexPage() const;
  void StopListening();

  std::shared_ptr<CreativeBundleModel> m_model;  // shared with the bundle, so a late response finds it alive
  std::string m_placementId;
  std::string m_folderName;
  std::string m_requestName;
  AdLoadHandler m_onSuccess;  // the load callbacks of the /ads request the ad came from
  AdLoadHandler m_onFailure;
  std::function<void()> m_onFailed;
  std::atomic<bool> m_finished{false};  // completed or failed
  // The listener: m_listenerId and m_requests are written before m_registered
  // is set and read only by the call that clears it.
  std::atomic<bool> m_registered{false};
  std::int32_t m_listenerId = 0;
  std::weak_ptr<IRequestController> m_requests;
};

}  // namespace kestrel
