#include "platform/Backend.h"

#include <cstdlib>
#include <string_view>

namespace kestrel {
namespace {

constexpr std::size_t kMaxLocaleName = 84;

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// "de_DE.UTF-8@euro" -> "de-DE"; empty for C, POSIX and anything that is not a plain locale name.
std::string LocaleName(std::string_view value) {
  value = value.substr(0, value.find_first_of(".@"));
  if (value.empty() || value == "C" || value == "POSIX" || value.size() > kMaxLocaleName) return {};
  std::string name;
  for (char c : value) {
    if (c == '_' || c == '-') {
      name.push_back('-');
    } else if (IsAsciiAlnum(c)) {
      name.push_back(c);
    } else {
      return {};
    }
  }
  return name;
}

}  // namespace

std::string UiLanguageName() {
  // The order in which gettext looks for the language of messages.
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    std::string_view text(value);
    if (std::string_view(variable) == "LANGUAGE") text = text.substr(0, text.find(':'));  // a list; the first wins
    if (text.empty()) continue;
    return LocaleName(text);
  }
  return {};
}

}  // namespace kestrel
