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
// arrives, reports the complete bundle to the placements controller, and
// marks the bundle failed when a part fails or the complete bundle has no
// index.html to show (a damaged archive). A failed bundle's folder is deleted
// once every part has answered; a part the disk would not take is then also
// reported to the load's failure callback.
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

  // Marks the bundle failed (state 5); only the first completion or failure
  // counts. With tellPublisher the load's callback hears the message.
  void Fail(const std::string& message, bool tellPublisher = false);
  // Fails the bundle whose parts could not all be asked for: no answer is
  // awaited, so its folder is deleted and the listener removed at once.
  void GiveUp(const std::string& message);
  const std::string& GetRequestName() const { return m_requestName; }

 private:
  MraidBundleLoaderController(const AdResponse& ad, std::shared_ptr<CreativeBundleModel> model,
                              const std::string& placementId, const std::string& folderName,
                              std::function<void()> onFailed);
  void OnResponse(const std::shared_ptr<ResponseBase>& response);
  bool HasIndexPage() const;
  void StopListening();
  void Consider(const std::shared_ptr<ResponseBase>& response, const AssetRequest& request);
  void RecordAnswer(const std::string& url);  // the part's download ended
  bool AllAnswered();
  // After a failure, once every part has answered: deletes the folder, stops
  // listening and tells the publisher when asked to.
  void CleanUpAfterFailure();

  std::shared_ptr<CreativeBundleModel> m_model;  // shared with the bundle, so a late response finds it alive
  std::string m_placementId;
  std::string m_folderName;
  std::string m_requestName;
  AdLoadHandler m_onSuccess;  // the load callbacks of the /ads request the ad came from
  AdLoadHandler m_onFailure;
  std::function<void()> m_onFailed;
  std::atomic<bool> m_finished{false};  // completed or failed
  std::atomic<bool> m_failed{false};
  std::atomic<bool> m_cleanedUp{false};
  std::mutex m_mutex;                 // guards the two below
  std::set<std::string> m_answered;   // URLs whose download ended
  std::string m_publisherMessage;     // the failure the publisher hears; empty: none
  // The listener: m_listenerId and m_requests are written before m_registered
  // is set and read only by the call that clears it.
  std::atomic<bool> m_registered{false};
  std::int32_t m_listenerId = 0;
  std::weak_ptr<IRequestController> m_requests;
};

}  // namespace kestrel
