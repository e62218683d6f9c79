// settings.ke as the settings controller loads it from the SDK folder. A
// change saves the file; loading that file again must give the same settings.
#include <cstdint>
#include <filesystem>
#include <string>
#include <tuple>

#include "FuzzSupport.h"
#include "config/PersistentSettingsController.h"

using kestrel::fuzz::Require;

namespace {

// Every setting but WatchForGDPRTimeout, which the target changes.
auto Values(kestrel::PersistentSettingsController& s) {
  return std::make_tuple(s.GetPlatformDisabledAdId(), s.HasCoppaConsentStatus(), s.GetCoppaConsentStatus(),
                         s.GetCcpaInternalConsentStatus(), s.GetConfigExtension(), s.GetGdprConsentStatus(),
                         s.GetGdprConsentSource(), s.GetGdprConsentMessageVersion(), s.GetGdprConsentTimestamp(),
                         s.GetGdprLastConsentMessageVersionFromServer(), s.GetPublisherDisableAshwidTracking(),
                         s.HasSetting("GdprConsentStatus"));
}

// A line whose value still ends in CR once the line's CR LF is taken off: the
// file is read as Windows text mode would, and saving writes one line feed per
// entry, so such a stray CR does not survive a save. The file is corrupt anyway.
bool HasStrayCarriageReturn(const std::string& text) {
  std::size_t from = 0;
  while (from < text.size()) {
    auto end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\r' && line.find('=') != std::string::npos) return true;
    from = end + 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::fuzz::SilenceLog();
  static const std::filesystem::path folder = [] {
    auto path = kestrel::fuzz::ProcessTempDir() / "settings";
    std::filesystem::create_directories(path);
    return path;
  }();
  const std::string text = kestrel::fuzz::Text(data, size);
  kestrel::fuzz::WriteFile(folder / "settings.ke", text);

  kestrel::PersistentSettingsController loaded(folder.string());
  const auto before = Values(loaded);
  // A change saves every setting, including ones the SDK does not know.
  const bool watch = !loaded.GetWatchForGDPRTimeout();
  loaded.SetWatchForGDPRTimeout(watch);

  kestrel::PersistentSettingsController reloaded(folder.string());
  Require(reloaded.GetWatchForGDPRTimeout() == watch, "a change was not saved");
  Require(HasStrayCarriageReturn(text) || Values(reloaded) == before,
          "settings changed by saving and loading them again");
  return 0;
}
