#include "ConfigFixture.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace kestrel::adserver {

namespace {

void ExpandStrings(nlohmann::json& value, const std::string& baseUrl) {
  if (value.is_string()) {
    value = ConfigFixture::ExpandBaseUrl(value.get<std::string>(), baseUrl);
  } else if (value.is_structured()) {
    for (auto& item : value) {
      ExpandStrings(item, baseUrl);
    }
  }
}

}  // namespace

ConfigFixture ConfigFixture::Load(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + file.string());
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto document = nlohmann::json::parse(text.str(), nullptr, false);
  if (!document.is_object()) {
    throw std::runtime_error(file.string() + " is not a JSON object");
  }
  return ConfigFixture(std::move(document));
}

ConfigFixture::ConfigFixture(nlohmann::json document) : m_document(std::move(document)) {}

nlohmann::json ConfigFixture::Document(const std::string& baseUrl) const {
  auto document = m_document;
  ExpandStrings(document, baseUrl);
  return document;
}

std::vector<std::string> ConfigFixture::PlacementIds() const {
  std::vector<std::string> ids;
  const auto it = m_document.find("placements");
  if (it == m_document.end() || !it->is_array()) {
    return ids;
  }
  for (const auto& placement : *it) {
    if (placement.is_object() && placement.value("reference_id", nlohmann::json()).is_string()) {
      ids.push_back(placement["reference_id"].get<std::string>());
    }
  }
  return ids;
}

bool ConfigFixture::HasPlacement(std::string_view id) const {
  for (const auto& p : PlacementIds()) {
    if (p == id) {
      return true;
    }
  }
  return false;
}

std::string ConfigFixture::ExpandBaseUrl(std::string text, const std::string& baseUrl) {
  for (auto pos = text.find(kBaseUrlToken); pos != std::string::npos;
       pos = text.find(kBaseUrlToken, pos + baseUrl.size())) {
    text.replace(pos, kBaseUrlToken.size(), baseUrl);
  }
  return text;
}

}  // namespace kestrel::adserver
