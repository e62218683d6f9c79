#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace kestrel::adserver {

// The /config document, read from a fixture whose strings may hold the
// "{{BASE_URL}}" token, filled with this server's address when served.
class ConfigFixture {
 public:
  static constexpr std::string_view kBaseUrlToken = "{{BASE_URL}}";

  // Throws std::runtime_error when the file is missing or not a JSON object.
  static ConfigFixture Load(const std::filesystem::path& file);
  explicit ConfigFixture(nlohmann::json document);

  nlohmann::json Document(const std::string& baseUrl) const;
  // The "reference_id" of every placement entry.
  std::vector<std::string> PlacementIds() const;
  bool HasPlacement(std::string_view id) const;

  // Replaces every "{{BASE_URL}}" in the text.
  static std::string ExpandBaseUrl(std::string text, const std::string& baseUrl);

 private:
  nlohmann::json m_document;
};

}  // namespace kestrel::adserver
