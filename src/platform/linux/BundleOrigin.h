#pragma once

#include <webkit2/webkit2.h>

#include <string>

namespace kestrel {

// A folder served, for as long as this object lives, from an origin of its
// own: a host name of its own under the "kestrel-bundle" URI scheme. Only
// regular files inside the folder are served; every other request (a path
// that leaves the folder in any spelling, through a link or not, or a host
// that is gone) gets a 404 answer. GTK thread only.
class BundleOrigin {
 public:
  static constexpr const char* kScheme = "kestrel-bundle";

  // Lets the context answer the scheme, as a secure origin. Once per context,
  // before its first view.
  static void RegisterScheme(WebKitWebContext* context);

  explicit BundleOrigin(const std::string& folder);
  ~BundleOrigin();
  BundleOrigin(const BundleOrigin&) = delete;
  BundleOrigin& operator=(const BundleOrigin&) = delete;

  // "kestrel-bundle://<host>/"
  const std::string& BaseUrl() const { return m_baseUrl; }

 private:
  std::string m_host;
  std::string m_baseUrl;
};

}  // namespace kestrel
