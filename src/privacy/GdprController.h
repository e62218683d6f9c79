#pragma once

#include <mutex>
#include <vector>

#include "privacy/IGdprController.h"

namespace kestrel {

class IPersistentSettingsController;

// The consent itself lives in the persisted settings; this object keeps the
// enabled flag and the dialog texts under its recursive lock.
class GdprController : public IGdprController {
 public:
  using enum GdprStatus;
  using enum GdprSource;

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
  void SetConsentStatus(GdprStatus status, const std::string& version) override;
  void SetConsentStatusFromModal(GdprStatus status) override;
  void ResetConsentStatusToUnknown() override;
  Json GetGdprJson() override;
  Json GetBidTokenGdprJson() override;
  GdprStatus GetConsentStatus() override;
  void StartConsentTimeoutWatch() override;
  void CheckConsentTimeout() override;
  void StopConsentTimeoutWatch() override;
  void GetGdprSettingsFromConfigResponse(std::shared_ptr<ConfigResponse> response,
                                         std::shared_ptr<const Json> document) override;
  void HandleMraidConsentAction(const Json& commandParams) override;
  void AddGdprEnabledListener(std::function<void(bool)> listener) override;

 private:
  // The dialog's answer, stored with the version the creative names, or else
  // with the one the server sent last.
  void StoreFromDialog(GdprStatus status, const std::string& version);
  struct FragmentNames {
    const char* status;
    const char* source;
    const char* version;
    const char* timestamp;
  };

  void Store(IPersistentSettingsController& settings, GdprStatus status, GdprSource source,
             const std::string& version);
  Json BuildFragment(const FragmentNames& names);
  std::string GetText(const std::string& text);
  void SetText(std::string& field, const std::string& text);

  std::vector<std::function<void(bool)>> m_enabledListeners;
  std::recursive_mutex m_mutex;  // guards every field; also serialises the consent's read-modify-write
  bool m_gdprEnabled = false;
  std::string m_consentTitle;
  std::string m_consentBody;
  std::string m_acceptButtonText;
  std::string m_denyButtonText;
  std::string m_consentMessageVersion;
};

}  // namespace kestrel
