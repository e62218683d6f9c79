#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace kestrel {

// An /ads body parsed, with the ad markup of its first ad beside it. Every
// read goes to the ad markup and follows the server read rules: a missing or
// mistyped value gives empty text, false or 0.
class AdMarkupModel {
 public:
  // Throws the JSON library's errors when the body has no "ads", "ads" is
  // neither null nor a non-empty array, or its first ad lacks "ad_markup".
  explicit AdMarkupModel(const std::string& body);

  const nlohmann::json& Body() const { return m_body; }
  // The first ad's "ad_markup"; null when "ads" or its first element is null.
  const nlohmann::json& Markup() const { return m_markup; }

  std::string Text(const std::string& key) const;
  double Number(const std::string& key) const;
  std::int32_t Int(const std::string& key) const;
  bool Bool(const std::string& key) const;
  bool Has(const std::string& key) const;  // present and not null

 private:
  nlohmann::json m_body;
  nlohmann::json m_markup;
};

}  // namespace kestrel
