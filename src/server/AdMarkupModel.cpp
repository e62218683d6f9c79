#include "server/AdMarkupModel.h"

#include "base/Log.h"
#include "config/JsonReadRules.h"

namespace kestrel {

AdMarkupModel::AdMarkupModel(const std::string& body) {
  try {
    m_body = JsonReadRules::Parse(body);
  } catch (const nlohmann::json::exception& e) {
    LogError(JsonReadRules::ErrorText(e));
  }
  const nlohmann::json& ads = m_body.at("ads");
  if (ads.is_null()) return;
  const nlohmann::json& first = ads.at(0);
  if (!first.is_null()) m_markup = first.at("ad_markup");
}

std::string AdMarkupModel::Text(const std::string& key) const {
  return JsonReadRules::Text(m_markup, key);
}

double AdMarkupModel::Number(const std::string& key) const {
  return JsonReadRules::Number(m_markup, key);
}

std::int32_t AdMarkupModel::Int(const std::string& key) const {
  return JsonReadRules::Int(m_markup, key);
}

bool AdMarkupModel::Bool(const std::string& key) const {
  return JsonReadRules::Bool(m_markup, key);
}

bool AdMarkupModel::Has(const std::string& key) const {
  return m_markup.is_object() && m_markup.contains(key) && !m_markup.at(key).is_null();
}

}  // namespace kestrel
