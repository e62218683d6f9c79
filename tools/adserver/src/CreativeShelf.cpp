#include "CreativeShelf.h"

#include <httplib.h>

#include <stdexcept>
#include <utility>

namespace kestrel::adserver {
namespace {

std::string WithBaseUrl(std::string text, const std::string& baseUrl) {
  static const std::string kToken = "{{BASE_URL}}";
  for (auto at = text.find(kToken); at != std::string::npos; at = text.find(kToken, at + baseUrl.size())) {
    text.replace(at, kToken.size(), baseUrl);
  }
  return text;
}

bool IsPlainName(const std::string& name) {
  return !name.empty() && name.find_first_of("/\\") == std::string::npos && name != "." && name != "..";
}

}  // namespace

CreativeShelf::CreativeShelf(std::filesystem::path root) : m_root(std::move(root)) {}

std::filesystem::path CreativeShelf::Folder(const std::string& name) const {
  if (!IsPlainName(name) || !std::filesystem::is_directory(m_root / name)) {
    throw std::invalid_argument("no creative named \"" + name + "\" in " + m_root.string());
  }
  return m_root / name;
}

void CreativeShelf::Choose(const std::string& name) {
  std::vector<BundleBuilder::Entry> entries;
  if (!name.empty()) entries = BundleBuilder::ReadFolder(Folder(name));
  std::lock_guard lock(m_mutex);
  m_chosen = name;
  m_entries = std::move(entries);
}

std::optional<std::string> CreativeShelf::ChosenArchive(const std::string& baseUrl) const {
  std::vector<BundleBuilder::Entry> entries;
  {
    std::lock_guard lock(m_mutex);
    if (m_chosen.empty()) return std::nullopt;
    entries = m_entries;
  }
  for (auto& entry : entries) entry.data = WithBaseUrl(std::move(entry.data), baseUrl);
  return BundleBuilder::Zip(entries);
}

void CreativeShelf::AddRoutes(httplib::Server& server, std::function<std::string()> baseUrl) {
  server.Post("/_control/creative", [this](const httplib::Request& req, httplib::Response& res) {
    try {
      Choose(req.body);
      res.set_content("{\"creative\":\"" + req.body + "\"}", "application/json");
    } catch (const std::exception& e) {
      res.status = 404;
      res.set_content(e.what(), "text/plain");
    }
  });
  server.Get("/creatives/([^/]+)/([^/]+)", [this, baseUrl](const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    const std::string file = req.matches[2];
    for (const auto& entry : IsPlainName(name) && IsPlainName(file) && std::filesystem::is_directory(m_root / name)
                                 ? BundleBuilder::ReadFolder(m_root / name)
                                 : std::vector<BundleBuilder::Entry>{}) {
      if (entry.name == file) {
        res.set_content(WithBaseUrl(entry.data, baseUrl()), file.ends_with(".html") ? "text/html" : "text/plain");
        return;
      }
    }
    res.status = 404;
    res.set_content("no such file", "text/plain");
  });
}

}  // namespace kestrel::adserver
