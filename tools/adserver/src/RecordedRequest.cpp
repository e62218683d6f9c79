#include "RecordedRequest.h"

#include <algorithm>
#include <cctype>

namespace kestrel::adserver {

namespace {

bool SameText(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

nlohmann::json PairsToObject(const std::vector<std::pair<std::string, std::string>>& pairs) {
  auto object = nlohmann::json::object();
  for (const auto& [name, value] : pairs) {
    auto& slot = object[name];
    slot = slot.is_null() ? value : slot.get<std::string>() + ", " + value;
  }
  return object;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
    }
  }
  return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> RecordedRequest::ParseQuery(std::string_view query) {
  std::vector<std::pair<std::string, std::string>> params;
  while (!query.empty()) {
    const auto amp = query.find('&');
    const auto item = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    if (item.empty()) {
      continue;
    }
    const auto eq = item.find('=');
    params.emplace_back(Decode(item.substr(0, eq)),
                        eq == std::string_view::npos ? std::string() : Decode(item.substr(eq + 1)));
  }
  return params;
}

std::string RecordedRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (SameText(n, name)) {
      return v;
    }
  }
  return {};
}

std::string RecordedRequest::Param(std::string_view name) const {
  for (const auto& [n, v] : params) {
    if (n == name) {
      return v;
    }
  }
  return {};
}

nlohmann::json RecordedRequest::BodyJson() const {
  auto json = nlohmann::json::parse(body, nullptr, false);
  return json.is_discarded() ? nlohmann::json() : json;
}

nlohmann::json RecordedRequest::ToJson() const {
  return {
      {"seq", seq},
      {"time_ms", timeMs},
      {"method", method},
      {"path", path},
      {"query", query},
      {"target", target},
      {"params", PairsToObject(params)},
      {"headers", PairsToObject(headers)},
      {"body", body},
      {"json", BodyJson()},
      {"route", route},
      {"status", status},
      {"fault", fault},
      {"client_port", clientPort},
      {"response", {{"headers", PairsToObject(responseHeaders)}, {"body", responseBody}, {"bytes", responseBytes}}},
  };
}

nlohmann::json RecordedRequest::Summary() const {
  return {{"seq", seq},       {"time_ms", timeMs}, {"method", method}, {"path", path},
          {"route", route},   {"status", status},  {"fault", fault},   {"ev", Param("ev")}};
}

}  // namespace kestrel::adserver
