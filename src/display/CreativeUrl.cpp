#include "display/CreativeUrl.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "display/MraidCommand.h"

namespace kestrel {
namespace {

bool IsWordOr(char c, const char* others) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x80 && std::isalnum(byte)) || c == '_' || std::string_view(others).find(c) != std::string_view::npos;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string CreativeUrl::Unescape(const std::string& url) {
  std::string text;
  text.reserve(url.size());
  for (std::size_t i = 0; i < url.size(); ++i) {
    const int high = url[i] == '%' && i + 2 < url.size() ? HexValue(url[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(url[i + 2]) : -1;
    if (low < 0) {
      text.push_back(url[i]);
      continue;
    }
    const char decoded = static_cast<char>(high * 16 + low);
    if (decoded == '\0') break;
    text.push_back(decoded);
    i += 2;
  }
  return text;
}

std::string CreativeUrl::Escape(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsWordOr(c, "-.!~*'()")) {
      escaped.push_back(c);
    } else {
      escaped += {'%', kHex[byte >> 4], kHex[byte & 0xF]};
    }
  }
  return escaped;
}

bool CreativeUrl::IsWebUrl(const std::string& url) {
  const std::string scheme = MraidCommand::Lowercase(url.substr(0, url.find(':')));
  if (scheme != "http" && scheme != "https") return false;
  if (url.compare(scheme.size(), 3, "://") != 0 || url.size() == scheme.size() + 3) return false;
  return std::none_of(url.begin(), url.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

// The whole url matches (http|https)://([\w.-]+)(:[0-9]+)?(/[\w./-]*)?, checked
// by hand for the reason MraidCommand::IsCommandUrl gives.
bool CreativeUrl::IsPrivacyPageUrl(const std::string& url) {
  if (url.size() > MraidCommand::kMaxLength) return false;
  std::size_t at = 0;
  if (url.rfind("https://", 0) == 0) {
    at = 8;
  } else if (url.rfind("http://", 0) == 0) {
    at = 7;
  } else {
    return false;
  }
  const auto skip = [&](auto accepts) {
    const std::size_t start = at;
    while (at < url.size() && accepts(url[at])) ++at;
    return at - start;
  };
  if (skip([](char c) { return IsWordOr(c, ".-"); }) == 0) return false;  // the host
  if (at < url.size() && url[at] == ':') {
    ++at;
    if (skip([](char c) { return c >= '0' && c <= '9'; }) == 0) return false;
  }
  if (at == url.size()) return true;
  if (url[at] != '/') return false;
  ++at;
  skip([](char c) { return IsWordOr(c, "./-"); });
  return at == url.size();
}

}  // namespace kestrel
