#pragma once

#include "privacy/IGdprController.h"
#include "sdk/IBaseController.h"

namespace kestrel {

class GdprController : public IGdprController {
 public:
  std::future<bool> Initialize() override;
  bool IsGdprEnabled() override;
  void SetGdprEnabled(bool enabled) override;
  std::string GetConsentTitleText() override;
  void SetConsentTitleText(const std::string& text) override;
  std::string GetConsentBodyText() override;
  void SetConsentBodyText(const std::string& text) override;
  std::string GetConsentMessageVersion() override;
  void SetConsentMessageVersion(const std::string& text) override;
  std::string GetConsentAcceptButtonText() override;
  void SetConsentAcceptButtonText(const std::string& text) override;
  std::string GetConsentDenyButtonText() override;
  void SetConsentDenyButtonText(const std::string& text) override;
  bool IsConsentStatusUnknown() override;
  bool IsConsentRequired() override;
  void SetConsentStatus(std::int32_t status, const std::string& version) override;
  void SetConsentStatusFromModal(std::int32_t status) override;
  void ResetConsentStatusToUnknown() override;
  Json GetGdprJson() override;
  Json GetBidTokenGdprJson() override;
  std::int32_t GetConsentStatus() override;
  void StartConsentTimeoutWatch() override;
  void CheckConsentTimeout() override;
  void StopConsentTimeoutWatch() override;
  void GetGdprSettingsFromConfigResponse(std::shared_ptr<ConfigResponse> response,
                                         std::shared_ptr<const Json> document) override;
  void HandleMraidConsentAction(const Json& commandParams) override;
  void AddGdprEnabledListener(std::function<void(bool)> listener) override;
};

}  // namespace kestrel
