#pragma once

#include <optional>
#include <string>

namespace kestrel {

// Microsoft Store web addresses and the store's own deep link.
class StoreLink {
 public:
  // The product id found by the first of the store patterns, tried in the
  // order 4, 2, 3, 1, that finds one anywhere in the url.
  static std::optional<std::string> FindProductId(const std::string& url);
  // "ms-windows-store://pdp/?ProductId=" + id + "&cid=tovane"
  static std::string DeepLink(const std::string& productId);
};

}  // namespace kestrel
