#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BundleBuilder.h"

namespace httplib {
class Server;
}  // namespace httplib

namespace kestrel::adserver {

// The other creatives the server can hand out in place of the sample, one
// folder each under creatives/ (faulty and hostile ones, for the SDK's tests
// and the demo). "{{BASE_URL}}" in their files becomes the server's address.
// Thread-safe.
class CreativeShelf {
 public:
  explicit CreativeShelf(std::filesystem::path root);

  // The creative that later bundle requests get; empty for the sample.
  // Throws std::invalid_argument for a name that is not a folder of the shelf.
  void Choose(const std::string& name);
  // The chosen creative zipped, or nothing while the sample is chosen.
  std::optional<std::string> ChosenArchive(const std::string& baseUrl) const;
  // POST /_control/creative (the body is the name) and GET /creatives/NAME/FILE,
  // the pages that creatives lead to outside their bundle.
  void AddRoutes(httplib::Server& server, std::function<std::string()> baseUrl);

 private:
  std::filesystem::path Folder(const std::string& name) const;

  std::filesystem::path m_root;
  mutable std::mutex m_mutex;
  std::string m_chosen;                        // guarded by m_mutex
  std::vector<BundleBuilder::Entry> m_entries;  // guarded by m_mutex
};

}  // namespace kestrel::adserver
