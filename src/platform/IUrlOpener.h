#pragma once

#include <string>

namespace kestrel {

// Hands a url to the desktop's default handler (browser, store).
class IUrlOpener {
 public:
  virtual ~IUrlOpener() = default;
  // Starts opening the url on a thread of its own and returns at once;
  // failures are logged there. Callers check the url before.
  virtual void Open(const std::string& url) = 0;
  // Whether the platform has a store that opens "ms-windows-store:" links.
  virtual bool OpensStoreLinks() const = 0;
};

}  // namespace kestrel
