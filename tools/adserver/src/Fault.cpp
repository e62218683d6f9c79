#include "Fault.h"

#include <array>
#include <charconv>
#include <stdexcept>
#include <utility>

namespace kestrel::adserver {

namespace {

constexpr std::array<std::pair<FaultRoute, std::string_view>, 7> kRoutes{{
    {FaultRoute::Config, "config"},
    {FaultRoute::Ads, "ads"},
    {FaultRoute::Bundle, "bundle"},
    {FaultRoute::Asset, "asset"},
    {FaultRoute::Tpat, "tpat"},
    {FaultRoute::Hb, "hb"},
    {FaultRoute::Impression, "impression"},
}};

constexpr std::array<std::pair<FaultMode, std::string_view>, 13> kModes{{
    {FaultMode::None, "none"},
    {FaultMode::Status, "status"},
    {FaultMode::Delay, "delay"},
    {FaultMode::Slow, "slow"},
    {FaultMode::Close, "close"},
    {FaultMode::NotJson, "notjson"},
    {FaultMode::Body, "body"},
    {FaultMode::Cookie, "cookie"},
    {FaultMode::Sleep, "sleep"},
    {FaultMode::WrongTypes, "wrongtypes"},
    {FaultMode::Corrupt, "corrupt"},
    {FaultMode::ZipSlip, "zipslip"},
    {FaultMode::Large, "large"},
}};

bool ModeFitsRoute(FaultMode mode, FaultRoute route) {
  switch (mode) {
    case FaultMode::Sleep:
      return route == FaultRoute::Ads || route == FaultRoute::Hb;
    case FaultMode::WrongTypes:
      return route == FaultRoute::Ads || route == FaultRoute::Hb;
    case FaultMode::Corrupt:
    case FaultMode::ZipSlip:
    case FaultMode::Large:
      return route == FaultRoute::Bundle;
    default:
      return true;
  }
}

long long ToNumber(std::string_view text, std::string_view what) {
  long long value = 0;
  const auto* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc{} || ptr != end || value < 0) {
    throw std::invalid_argument(std::string(what) + " must be a non-negative integer: " + std::string(text));
  }
  return value;
}

// The field that a mode's ":ARG" shorthand sets.
std::string_view ShorthandKey(FaultMode mode) {
  switch (mode) {
    case FaultMode::Status: return "status";
    case FaultMode::Delay: return "delay_ms";
    case FaultMode::Slow: return "interval_ms";
    case FaultMode::Close: return "bytes";
    case FaultMode::Large: return "bytes";
    case FaultMode::Sleep: return "sleep";
    case FaultMode::Body: return "body";
    default: return {};
  }
}

bool IsTextKey(std::string_view key) { return key == "info" || key == "body"; }

int IntField(const nlohmann::json& json, const char* key, int fallback) {
  if (!json.contains(key)) {
    return fallback;
  }
  const auto& v = json.at(key);
  if (!v.is_number_integer() || v.get<long long>() < 0 || v.get<long long>() > 1'000'000'000) {
    throw std::invalid_argument(std::string("\"") + key + "\" must be a non-negative integer");
  }
  return v.get<int>();
}

std::size_t SizeField(const nlohmann::json& json, const char* key, std::size_t fallback) {
  if (!json.contains(key)) {
    return fallback;
  }
  const auto& v = json.at(key);
  if (!v.is_number_integer() || v.get<long long>() < 0) {
    throw std::invalid_argument(std::string("\"") + key + "\" must be a non-negative integer");
  }
  return v.get<std::size_t>();
}

std::string TextField(const nlohmann::json& json, const char* key, std::string fallback) {
  if (!json.contains(key)) {
    return fallback;
  }
  if (!json.at(key).is_string()) {
    throw std::invalid_argument(std::string("\"") + key + "\" must be a string");
  }
  return json.at(key).get<std::string>();
}

}  // namespace

std::string_view RouteName(FaultRoute route) {
  for (const auto& [r, name] : kRoutes) {
    if (r == route) {
      return name;
    }
  }
  return "?";
}

std::optional<FaultRoute> RouteFromName(std::string_view name) {
  for (const auto& [r, n] : kRoutes) {
    if (n == name) {
      return r;
    }
  }
  return std::nullopt;
}

std::string_view ModeName(FaultMode mode) {
  for (const auto& [m, name] : kModes) {
    if (m == mode) {
      return name;
    }
  }
  return "?";
}

std::optional<FaultMode> ModeFromName(std::string_view name) {
  for (const auto& [m, n] : kModes) {
    if (n == name) {
      return m;
    }
  }
  return std::nullopt;
}

Fault Fault::Body(FaultRoute route, std::string body, int count) {
  Fault fault;
  fault.route = route;
  fault.mode = FaultMode::Body;
  fault.body = std::move(body);
  fault.count = count;
  return fault;
}

Fault Fault::FromJson(const nlohmann::json& json) {
  if (!json.is_object()) {
    throw std::invalid_argument("a fault is a JSON object");
  }
  Fault f;
  const auto route = RouteFromName(TextField(json, "route", ""));
  if (!route) {
    throw std::invalid_argument("unknown or missing \"route\" (config, ads, bundle, asset, tpat, hb, impression)");
  }
  const auto mode = ModeFromName(TextField(json, "mode", ""));
  if (!mode) {
    throw std::invalid_argument("unknown or missing \"mode\"");
  }
  if (!ModeFitsRoute(*mode, *route)) {
    throw std::invalid_argument("mode \"" + std::string(ModeName(*mode)) + "\" does not apply to route \"" +
                                std::string(RouteName(*route)) + "\"");
  }
  f.route = *route;
  f.mode = *mode;
  f.status = IntField(json, "status", f.status);
  if (f.status < 100 || f.status > 999) {
    throw std::invalid_argument("\"status\" must be an HTTP status code");
  }
  f.delayMs = IntField(json, "delay_ms", f.delayMs);
  f.intervalMs = IntField(json, "interval_ms", f.intervalMs);
  f.chunkBytes = SizeField(json, "chunk", f.chunkBytes);
  if (f.chunkBytes == 0) {
    throw std::invalid_argument("\"chunk\" must be at least 1");
  }
  f.bytes = SizeField(json, "bytes", f.bytes);
  if (f.mode == FaultMode::Large && f.bytes == 0) {
    f.bytes = 20 * 1000 * 1000;
  }
  f.sleepSeconds = IntField(json, "sleep", f.sleepSeconds);
  f.info = TextField(json, "info", f.info);
  f.body = TextField(json, "body", f.body);
  f.count = IntField(json, "count", f.count);
  return f;
}

Fault Fault::Parse(std::string_view text) {
  const auto eq = text.find('=');
  if (eq == std::string_view::npos) {
    throw std::invalid_argument("a fault reads ROUTE=MODE[:ARG][,key=value...]: " + std::string(text));
  }
  nlohmann::json json;
  json["route"] = std::string(text.substr(0, eq));
  auto rest = text.substr(eq + 1);
  const auto comma = rest.find(',');
  auto head = rest.substr(0, comma);
  rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);

  const auto colon = head.find(':');
  const auto modeName = head.substr(0, colon);
  json["mode"] = std::string(modeName);
  const auto mode = ModeFromName(modeName);
  if (colon != std::string_view::npos) {
    const auto key = mode ? ShorthandKey(*mode) : std::string_view{};
    if (key.empty()) {
      throw std::invalid_argument("mode \"" + std::string(modeName) + "\" takes no argument");
    }
    const auto arg = head.substr(colon + 1);
    if (key == "body") {
      // The body may contain commas: it runs to the end of the text.
      json["body"] = std::string(text.substr(static_cast<std::size_t>(arg.data() - text.data())));
      rest = {};
    } else {
      json[std::string(key)] = ToNumber(arg, key);
    }
  }
  while (!rest.empty()) {
    const auto next = rest.find(',');
    const auto item = rest.substr(0, next);
    rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
    const auto kv = item.find('=');
    if (kv == std::string_view::npos) {
      throw std::invalid_argument("expected key=value: " + std::string(item));
    }
    const auto key = item.substr(0, kv);
    const auto value = item.substr(kv + 1);
    if (IsTextKey(key)) {
      json[std::string(key)] = std::string(value);
    } else {
      json[std::string(key)] = ToNumber(value, key);
    }
  }
  static constexpr std::array<std::string_view, 9> kKnown{"route", "mode",  "status", "delay_ms", "interval_ms",
                                                           "chunk", "bytes", "sleep",  "count"};
  for (const auto& [key, value] : json.items()) {
    bool known = IsTextKey(key);
    for (const auto k : kKnown) {
      known = known || k == key;
    }
    if (!known) {
      throw std::invalid_argument("unknown fault setting: " + key);
    }
  }
  return FromJson(json);
}

nlohmann::json Fault::ToJson() const {
  nlohmann::json json{{"route", RouteName(route)}, {"mode", ModeName(mode)}, {"count", count}};
  if (delayMs > 0 || mode == FaultMode::Delay) {
    json["delay_ms"] = delayMs;
  }
  switch (mode) {
    case FaultMode::Status: json["status"] = status; break;
    case FaultMode::Slow:
      json["interval_ms"] = intervalMs;
      json["chunk"] = chunkBytes;
      break;
    case FaultMode::Close:
    case FaultMode::Large: json["bytes"] = bytes; break;
    case FaultMode::Sleep:
      json["sleep"] = sleepSeconds;
      json["info"] = info;
      break;
    case FaultMode::Body: json["body"] = body; break;
    default: break;
  }
  return json;
}

}  // namespace kestrel::adserver

