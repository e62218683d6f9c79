#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "base/Forward.h"
#include "base/Statuses.h"

namespace kestrel {

// GDPR consent: whether it applies, the dialog texts, the stored choice and its time-out.
// Unlike the other controllers it does not derive from IBaseController.
class IGdprController {
 public:
  virtual ~IGdprController() = default;
  virtual bool IsGdprEnabled() = 0;
  virtual void SetGdprEnabled(bool enabled) = 0;
  virtual std::string GetConsentTitleText() = 0;
  virtual void SetConsentTitleText(const std::string& text) = 0;
  virtual std::string GetConsentBodyText() = 0;
  virtual void SetConsentBodyText(const std::string& text) = 0;
  virtual std::string GetConsentMessageVersion() = 0;
  virtual void SetConsentMessageVersion(const std::string& text) = 0;
  virtual std::string GetConsentAcceptButtonText() = 0;
  virtual void SetConsentAcceptButtonText(const std::string& text) = 0;
  virtual std::string GetConsentDenyButtonText() = 0;
  virtual void SetConsentDenyButtonText(const std::string& text) = 0;
  virtual bool IsConsentStatusUnknown() = 0;
  virtual bool IsConsentRequired() = 0;
  virtual std::future<bool> Initialize() = 0;
  virtual void SetConsentStatus(GdprStatus status, const std::string& version) = 0;
  virtual void SetConsentStatusFromModal(GdprStatus status) = 0;
  virtual void ResetConsentStatusToUnknown() = 0;
  virtual Json GetGdprJson() = 0;
  virtual Json GetBidTokenGdprJson() = 0;
  virtual GdprStatus GetConsentStatus() = 0;
  virtual void StartConsentTimeoutWatch() = 0;
  virtual void CheckConsentTimeout() = 0;
  virtual void StopConsentTimeoutWatch() = 0;
  virtual void GetGdprSettingsFromConfigResponse(std::shared_ptr<ConfigResponse> response,
                                                 std::shared_ptr<const Json> document) = 0;
  virtual void HandleMraidConsentAction(const Json& commandParams) = 0;
  virtual void AddGdprEnabledListener(std::function<void(bool)> listener) = 0;
};

}  // namespace kestrel
