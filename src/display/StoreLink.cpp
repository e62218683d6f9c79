#include "display/StoreLink.h"

#include <array>
#include <regex>

namespace kestrel {
namespace {

const char* const kProductIdPattern1 = R"(https?://www\.microsoft\.com/[^/]+/p/app/([^\?/]+))";
const char* const kProductIdPattern2 = R"(https?://apps\.microsoft\.com/.*store/detail/\w+/([^\?/]+))";
const char* const kProductIdPattern3 = R"(https?://apps\.microsoft\.com/.*store/detail/([^\?/]+))";
const char* const kProductIdPattern4 = R"(^https?://www\.microsoft\.com/.*store/(?=apps|games).*\/([^\?/]+))";

}  // namespace

std::optional<std::string> StoreLink::FindProductId(const std::string& url) {
  if (url.size() > kMaxUrlLength) return std::nullopt;
  static const std::array<std::regex, 4> patterns = {std::regex(kProductIdPattern4), std::regex(kProductIdPattern2),
                                                     std::regex(kProductIdPattern3), std::regex(kProductIdPattern1)};
  for (const auto& pattern : patterns) {
    std::smatch match;
    if (std::regex_search(url, match, pattern) && match[1].matched) return match[1].str();
  }
  return std::nullopt;
}

std::string StoreLink::DeepLink(const std::string& productId) {
  return "ms-windows-store://pdp/?ProductId=" + productId + "&cid=tovane";
}

}  // namespace kestrel
