#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kestrel {

// Microsoft Store web addresses and the store's own deep link.
class StoreLink {
 public:
  // Longer urls are not searched: std::regex recurses once per character
  // (about 300 bytes of stack each) and a store page's address is far shorter.
  static constexpr std::size_t kMaxUrlLength = 1024;

  // The product id found by the first of the store patterns, tried in the
  // order 4, 2, 3, 1, that finds one anywhere in the url; none for urls
  // longer than kMaxUrlLength.
  static std::optional<std::string> FindProductId(const std::string& url);
  // "ms-windows-store://pdp/?ProductId=" + id + "&cid=tovane"
  static std::string DeepLink(const std::string& productId);
};

}  // namespace kestrel
