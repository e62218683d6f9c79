#pragma once

#include <string>

namespace kestrel {

// Cleaning and checks of the urls a creative asks the SDK to open.
class CreativeUrl {
 public:
  // Decodes every "%" followed by two hex digits; the result ends at a decoded
  // NUL. Other text, "+" included, stays as it is.
  static std::string Unescape(const std::string& url);
  // Percent-encodes every byte but those encodeURIComponent keeps.
  static std::string Escape(const std::string& text);
  // An http or https url without control characters. Nothing else is handed
  // to the desktop: no local files, no programs, no other schemes.
  static bool IsWebUrl(const std::string& url);
  // The privacy page check: the whole url is (http|https)://host[:port][/path]
  // with host and path made of word characters, ".", "-" (and "/").
  static bool IsPrivacyPageUrl(const std::string& url);
};

}  // namespace kestrel
