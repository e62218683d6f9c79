#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "base/Forward.h"

namespace kestrel {

class AssetRequest;
class CreativeBundleModel;
class IRequestController;

// Follows the downloads of one bundle's parts: records each part that
// arrives, reports the complete bundle, and marks the bundle failed when a
// part fails or the complete bundle has no index.html to show (a damaged
// archive). Either outcome is reported once, through onDone: a completion
// at once, a failure once every part has answered and the folder is deleted,
// so that nothing of the bundle is written after the caller hears of it.
class MraidBundleLoaderController {
 public:
  // Adds the ad's parts (the template URL and every cacheable replacement
  // with a URL, each URL once) to the model's expected parts and starts
  // listening for their responses.
  using DoneHandler = std::function<void(bool complete, const std::string& message)>;
  static std::shared_ptr<MraidBundleLoaderController> Create(const AdResponse& ad,
                                                             std::shared_ptr<CreativeBundleModel> model,
                                                             const std::string& placementId,
                                                             const std::string& folderName, DoneHandler onDone);
  ~MraidBundleLoaderController();
  MraidBundleLoaderController(const MraidBundleLoaderController&) = delete;
  MraidBundleLoaderController& operator=(const MraidBundleLoaderController&) = delete;

  // Marks the bundle failed (state 5) and logs the message; the failure, with
  // the detail, is reported after the clean-up. Only the first completion or
  // failure counts.
  void Fail(const std::string& message, const std::string& detail = {});
  // Fails the bundle whose parts could not all be asked for: no answer is
  // awaited, so its folder is deleted and the listener removed at once.
  void GiveUp(const std::string& message);
  const std::string& GetRequestName() const { return m_requestName; }

 private:
  MraidBundleLoaderController(const AdResponse& ad, std::shared_ptr<CreativeBundleModel> model,
                              const std::string& placementId, const std::string& folderName, DoneHandler onDone);
  void OnResponse(const std::shared_ptr<ResponseBase>& response);
  bool HasIndexPage() const;
  void StopListening();
  void Consider(const std::shared_ptr<ResponseBase>& response, const AssetRequest& request);
  void RecordAnswer(const std::string& url);  // the part's download ended
  bool AllAnswered();
  // After a failure, once every part has answered: deletes the folder, stops listening and reports the failure.
  void CleanUpAfterFailure();

  std::shared_ptr<CreativeBundleModel> m_model;  // shared with the bundle, so a late response finds it alive
  std::string m_placementId;
  std::string m_folderName;
  std::string m_requestName;
  DoneHandler m_onDone;
  std::atomic<bool> m_finished{false};  // completed or failed
  std::atomic<bool> m_failed{false};
  std::atomic<bool> m_cleanedUp{false};
  std::mutex m_mutex;                 // guards the two below
  std::set<std::string> m_answered;   // URLs whose download ended
  std::string m_failure;              // what the failure report says
  // The listener: m_listenerId and m_requests are written before m_registered
  // is set and read only by the call that clears it.
  std::atomic<bool> m_registered{false};
  std::int32_t m_listenerId = 0;
  std::weak_ptr<IRequestController> m_requests;
};

}  // namespace kestrel
