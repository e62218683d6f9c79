#include "display/MraidCommand.h"

#include <algorithm>
#include <regex>

namespace kestrel {

bool MraidCommand::IsCommandUrl(const std::string& message) {
  if (message.size() > kMaxLength) return false;
  static const std::regex pattern(R"((http|https|mraid):\/\/[^\s/$.?#].[^\s]*)",
                                  std::regex::ECMAScript | std::regex::icase);
  return std::regex_match(message, pattern);
}

std::string MraidCommand::Scheme(const std::string& message) {
  return Lowercase(message.substr(0, message.find(':')));
}

std::string MraidCommand::Name(const std::string& message) {
  const auto start = message.find("://");
  if (start == std::string::npos) return {};
  const std::string rest = message.substr(start + 3);
  return Lowercase(rest.substr(0, rest.find_first_of("/?")));
}

MraidCommand::Parameters MraidCommand::ParseParameters(const std::string& message) {
  Parameters parameters;
  const auto start = message.find('?');
  if (start == std::string::npos) return parameters;
  std::string query = message.substr(start);
  std::erase(query, '?');
  std::size_t from = 0;
  while (from <= query.size()) {
    auto end = query.find('&', from);
    if (end == std::string::npos) end = query.size();
    const std::string piece = query.substr(from, end - from);
    const auto equals = piece.find('=');
    if (equals != std::string::npos) parameters[piece.substr(0, equals)] = piece.substr(equals + 1);
    from = end + 1;
  }
  return parameters;
}

std::string MraidCommand::Lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
  return text;
}

}  // namespace kestrel
