#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kestrel {

// The rules by which the SDK reads members of server documents: a missing or
// mistyped value gives empty text, false or 0; a type error is logged.
class JsonReadRules {
 public:
  // The member's string value; empty for an absent member or any other type, silently.
  static std::string Text(const nlohmann::json& object, const std::string& key);
  // false for absent or null; a non-boolean logs the type error at Error.
  static bool Bool(const nlohmann::json& object, const std::string& key);
  // 0 for absent or null; booleans give 0 or 1, numbers are cut to 32 bits
  // (floating point toward zero); any other type logs the type error at Error.
  static std::int32_t Int(const nlohmann::json& object, const std::string& key);
  // A number as a double: 0.0 for absent or null; any other type logs the type error.
  static double Number(const nlohmann::json& object, const std::string& key);

  // Containers nested deeper than this are refused: copying or printing a value
  // recurses once per level, and a hostile document would overflow the stack.
  static constexpr int kMaxDepth = 512;
  // Parses a server document as nlohmann::json::parse does; a document nested
  // deeper than kMaxDepth throws the library's parse error.
  static nlohmann::json Parse(std::string_view text);

  // The JSON library's message without its "[json.exception.…] " tag.
  static std::string ErrorText(const std::exception& e);
};

}  // namespace kestrel
