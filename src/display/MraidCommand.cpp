#include "display/MraidCommand.h"

#include <algorithm>
#include <string_view>

namespace kestrel {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

// The whole message matches (http|https|mraid)://[^\s/$.?#].[^\s]* in any case.
// Checked by hand: std::regex recurses once per character, which a long
// message turns into a stack overflow on a thread with a small stack.
bool MraidCommand::IsCommandUrl(const std::string& message) {
  if (message.size() > kMaxLength) return false;
  const auto separator = message.find("://");
  if (separator == std::string::npos) return false;
  const std::string scheme = Lowercase(message.substr(0, separator));
  if (scheme != "http" && scheme != "https" && scheme != "mraid") return false;
  const std::size_t first = separator + 3;
  if (message.size() < first + 2) return false;
  if (IsSpace(message[first]) || std::string_view("/$.?#").find(message[first]) != std::string_view::npos) {
    return false;
  }
  if (message[first + 1] == '\n' || message[first + 1] == '\r') return false;  // "." takes any other character
  return std::none_of(message.begin() + static_cast<std::ptrdiff_t>(first) + 2, message.end(), IsSpace);
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
