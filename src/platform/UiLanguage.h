#pragma once

#include <string>

namespace kestrel {

// The language of the user's interface as a locale name such as "de-DE";
// empty when it cannot be told.
std::string UiLanguageName();

}  // namespace kestrel
