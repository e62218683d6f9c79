#include "privacy/GdprController.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

#include "base/Now.h"
#include "config/ConfigDocument.h"
#include "config/ConfigResponse.h"
#include "privacy/PrivacyGuard.h"

namespace kestrel {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

const char* StatusText(std::int32_t status) {
  switch (static_cast<GdprStatus>(status)) {
    case GdprStatus::kOptedIn: return "opted_in";
    case GdprStatus::kOptedOut: return "opted_out";
    case GdprStatus::kOptedOutByTimeout: return "opted_out_by_timeout";
    default: return "unknown";
  }
}

const char* SourceText(std::int32_t source) {
  switch (static_cast<GdprSource>(source)) {
    case GdprSource::kSourcePublisher: return "publisher";
    case GdprSource::kSourceDialog: return "tovane_modal";
    default:
      // Only a damaged settings file gets here; the publisher is the default source.
      LogError("Unknown GDPR Consent Source: " + std::to_string(source));
      return "publisher";
  }
}

bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::future<bool> GdprController::Initialize() {
  return MakeReadyFuture(true);
}

bool GdprController::IsGdprEnabled() {
  return RunGuarded(false, [&] {
    Lock lock(m_mutex);
    return m_gdprEnabled;
  });
}

void GdprController::SetGdprEnabled(bool enabled) {
  RunGuarded([&] {
    std::vector<std::function<void(bool)>> listeners;
    {
      Lock lock(m_mutex);
      m_gdprEnabled = enabled;
      listeners = m_enabledListeners;
    }
    // An empty or throwing listener ends the notification.
    for (const auto& listener : listeners) listener(enabled);
  });
}

std::string GdprController::GetText(const std::string& text) {
  return RunGuarded(std::string(), [&] {
    Lock lock(m_mutex);
    return text;
  });
}

void GdprController::SetText(std::string& field, const std::string& text) {
  RunGuarded([&] {
    Lock lock(m_mutex);
    field = text;
  });
}

std::string GdprController::GetConsentTitleText() {
  return GetText(m_consentTitle);
}
void GdprController::SetConsentTitleText(const std::string& text) {
  SetText(m_consentTitle, text);
}
std::string GdprController::GetConsentBodyText() {
  return GetText(m_consentBody);
}
void GdprController::SetConsentBodyText(const std::string& text) {
  SetText(m_consentBody, text);
}
std::string GdprController::GetConsentMessageVersion() {
  return GetText(m_consentMessageVersion);
}
void GdprController::SetConsentMessageVersion(const std::string& text) {
  SetText(m_consentMessageVersion, text);
}
std::string GdprController::GetConsentAcceptButtonText() {
  return GetText(m_acceptButtonText);
}
void GdprController::SetConsentAcceptButtonText(const std::string& text) {
  SetText(m_acceptButtonText, text);
}
std::string GdprController::GetConsentDenyButtonText() {
  return GetText(m_denyButtonText);
}
void GdprController::SetConsentDenyButtonText(const std::string& text) {
  SetText(m_denyButtonText, text);
}

bool GdprController::IsConsentStatusUnknown() {
  return GetConsentStatus() == kUnknown;
}

bool GdprController::IsConsentRequired() {
  return RunGuarded(false, [&] {
    Lock lock(m_mutex);
    return IsGdprEnabled() && IsConsentStatusUnknown();
  });
}

// The lock keeps the four values of one consent together for the fragments.
void GdprController::Store(IPersistentSettingsController& settings, GdprStatus status, GdprSource source,
                           const std::string& version) {
  Lock lock(m_mutex);
  settings.SetGdprConsentStatus(Number(status));
  settings.SetGdprConsentSource(Number(source));
  if (status != kUnknown) {
    settings.SetGdprConsentTimestamp(NowSeconds());
    settings.SetGdprConsentMessageVersion(version);
  } else {
    settings.SetGdprConsentTimestamp(0);
    settings.SetGdprConsentMessageVersion(std::string());
  }
}

void GdprController::SetConsentStatus(GdprStatus status, const std::string& version) {
  RunGuarded([&] { Store(*RequireSettings(), status, kSourcePublisher, version); });
}

void GdprController::SetConsentStatusFromModal(GdprStatus status) {
  StoreFromDialog(status, std::string());
}

void GdprController::StoreFromDialog(GdprStatus status, const std::string& version) {
  RunGuarded([&] {
    auto settings = RequireSettings();
    Lock lock(m_mutex);
    StopConsentTimeoutWatch();
    Store(*settings, status, kSourceDialog,
          IsBlank(version) ? settings->GetGdprLastConsentMessageVersionFromServer() : version);
  });
}

void GdprController::ResetConsentStatusToUnknown() {
  RunGuarded([&] {
    auto settings = RequireSettings();
    Lock lock(m_mutex);
    settings->SetGdprConsentStatus(Number(kUnknown));
    settings->SetGdprConsentTimestamp(0);
    settings->SetGdprConsentSource(Number(kSourcePublisher));
    settings->SetGdprConsentMessageVersion(std::string());
  });
}

Json GdprController::BuildFragment(const FragmentNames& names) {
  return RunGuarded(Json(), [&] {
    auto settings = RequireSettings();
    Lock lock(m_mutex);
    const std::int32_t status = settings->GetGdprConsentStatus();
    std::string version = settings->GetGdprConsentMessageVersion();
    if (status == Number(kUnknown) || IsBlank(version)) version.clear();
    Json gdpr = Json::object();
    gdpr[names.status] = StatusText(status);
    gdpr[names.source] = SourceText(settings->GetGdprConsentSource());
    gdpr[names.version] = version;
    gdpr[names.timestamp] = settings->GetGdprConsentTimestamp();
    return Json{{"user", {{"gdpr", gdpr}}}};
  });
}

Json GdprController::GetGdprJson() {
  return BuildFragment({"consent_status", "consent_source", "consent_message_version", "consent_timestamp"});
}

Json GdprController::GetBidTokenGdprJson() {
  return BuildFragment({"status", "source", "message_version", "timestamp"});
}

GdprStatus GdprController::GetConsentStatus() {
  return RunGuarded(kUnknown, [] { return static_cast<GdprStatus>(RequireSettings()->GetGdprConsentStatus()); });
}

void GdprController::StartConsentTimeoutWatch() {
  RunGuarded([&] {
    auto settings = RequireSettings();
    Lock lock(m_mutex);
    if (!IsConsentRequired()) return;
    if (settings->GetGdprConsentStatus() != Number(kUnknown)) {
      LogWarn("Not watching for GDPR Consent Timeout, because we've already set a value.");
      return;
    }
    settings->SetWatchForGDPRTimeout(true);
  });
}

void GdprController::CheckConsentTimeout() {
  RunGuarded([&] {
    auto settings = RequireSettings();
    Lock lock(m_mutex);
    if (!settings->GetWatchForGDPRTimeout()) return;
    StopConsentTimeoutWatch();
    if (settings->GetGdprConsentStatus() == Number(kUnknown)) {
      SetConsentStatusFromModal(kOptedOutByTimeout);
      LogInfo("User didn't click on GDPR dialog button -- setting Consent to Timeout");
    }
  });
}

void GdprController::StopConsentTimeoutWatch() {
  RunGuarded([] { RequireSettings()->SetWatchForGDPRTimeout(false); });
}

void GdprController::GetGdprSettingsFromConfigResponse(std::shared_ptr<ConfigResponse> response,
                                                       std::shared_ptr<const Json> document) {
  RunGuarded([&] {
    if (!response || !document) {
      LogError("GetGdprSettingsFromConfigResponse called with null response or parser");
      return;
    }
    const Json& doc = *document;
    SetGdprEnabled(ConfigDocument::GdprIsCountryDataProtected(doc));
    SetConsentTitleText(ConfigDocument::GdprConsentTitle(doc));
    SetConsentBodyText(ConfigDocument::GdprConsentMessage(doc));
    SetConsentAcceptButtonText(ConfigDocument::GdprButtonAccept(doc));
    SetConsentDenyButtonText(ConfigDocument::GdprButtonDeny(doc));
    const std::string version = ConfigDocument::GdprConsentMessageVersion(doc);
    RequireSettings()->SetGdprLastConsentMessageVersionFromServer(version);
    LogInfo("Setting to Consent Message Version to " + version);
  });
}

void GdprController::HandleMraidConsentAction(const Json& commandParams) {
  RunGuarded([&] {
    const auto event = commandParams.is_object() ? commandParams.find("event") : commandParams.end();
    if (event == commandParams.end() || event->is_null()) {
      LogError("HandleMraidConsentAction called with null commandParams or missing 'event' key");
      return;
    }
    const std::string text = event->is_string() ? event->get<std::string>() : event->dump();
    const std::string name = Lowercase(text);
    GdprStatus status;
    if (name == "opted_in") {
      status = kOptedIn;
    } else if (name == "opted_out") {
      status = kOptedOut;
    } else if (name == "opted_out_by_timeout") {
      status = kOptedOutByTimeout;
    } else {
      LogError("Unknown GDPR Consent Status received from MRAID: " + text);
      return;
    }
    const auto version = commandParams.find("version");
    const std::string versionText =
        version != commandParams.end() && version->is_string() ? version->get<std::string>() : std::string();
    StoreFromDialog(status, versionText);
  });
}

void GdprController::AddGdprEnabledListener(std::function<void(bool)> listener) {
  RunGuarded([&] {
    Lock lock(m_mutex);
    m_enabledListeners.push_back(std::move(listener));
  });
}

}  // namespace kestrel
