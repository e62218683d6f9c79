#include "config/JsonReadRules.h"

#include <cmath>

#include "base/Log.h"

namespace kestrel {
namespace {

const nlohmann::json* Member(const nlohmann::json& object, const std::string& key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::int32_t CutTo32Bits(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

nlohmann::json JsonReadRules::Parse(std::string_view text) {
  using Event = nlohmann::json::parse_event_t;
  return nlohmann::json::parse(text, [](int depth, Event event, nlohmann::json&) {
    if ((event == Event::object_start || event == Event::array_start) && depth >= kMaxDepth) {
      throw nlohmann::json::parse_error::create(
          101, 0, "document nested deeper than " + std::to_string(kMaxDepth) + " levels", nullptr);
    }
    return true;
  });
}

std::string JsonReadRules::ErrorText(const std::exception& e) {
  std::string text = e.what();
  if (text.rfind("[json.exception.", 0) == 0) {
    auto end = text.find("] ");
    if (end != std::string::npos) text.erase(0, end + 2);
  }
  return text;
}

std::string JsonReadRules::Text(const nlohmann::json& object, const std::string& key) {
  const auto* value = Member(object, key);
  return value && value->is_string() ? value->get<std::string>() : std::string();
}

bool JsonReadRules::Bool(const nlohmann::json& object, const std::string& key) {
  const auto* value = Member(object, key);
  if (!value || value->is_null()) return false;
  if (value->is_boolean()) return value->get<bool>();
  LogError(std::string("type must be boolean, but is ") + value->type_name());
  return false;
}

std::int32_t JsonReadRules::Int(const nlohmann::json& object, const std::string& key) {
  const auto* value = Member(object, key);
  if (!value || value->is_null()) return 0;
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  if (value->is_number_integer()) return CutTo32Bits(value->get<std::int64_t>());
  if (value->is_number_unsigned()) return CutTo32Bits(static_cast<std::int64_t>(value->get<std::uint64_t>()));
  if (value->is_number_float()) {
    const double d = std::trunc(value->get<double>());
    // Beyond the 64-bit range (or NaN) there is no meaningful cut.
    if (!(d > -9.2e18 && d < 9.2e18)) return 0;
    return CutTo32Bits(static_cast<std::int64_t>(d));
  }
  LogError(std::string("type must be number, but is ") + value->type_name());
  return 0;
}

double JsonReadRules::Number(const nlohmann::json& object, const std::string& key) {
  const auto* value = Member(object, key);
  if (!value || value->is_null()) return 0.0;
  if (value->is_number()) return value->get<double>();
  LogError(std::string("type must be number, but is ") + value->type_name());
  return 0.0;
}

}  // namespace kestrel
