#include "platform/Backend.h"

#include <windows.h>

#include "platform/windows/Utf16.h"

namespace kestrel {

std::string UiLanguageName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH]{};  // 85 units
  const LCID language = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
  const int units = LCIDToLocaleName(language, name, LOCALE_NAME_MAX_LENGTH, 0);
  if (units <= 1) return {};
  try {
    return ToUtf8(std::wstring_view(name, static_cast<std::size_t>(units - 1)));  // without the NUL
  } catch (...) {
    return {};
  }
}

}  // namespace kestrel
