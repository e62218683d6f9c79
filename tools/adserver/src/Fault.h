#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kestrel::adserver {

// The routes a fault can be put on.
enum class FaultRoute { Config, Ads, Bundle, Asset, Tpat, Hb, Impression };

enum class FaultMode {
  None,        // clears the route's fault
  Status,      // answer with `status` and a short JSON error body
  Delay,       // wait `delayMs` before the headers, then answer normally
  Slow,        // headers at once, then the body `chunkBytes` at a time every `intervalMs`
  Close,       // full Content-Length, `bytes` of the body (default half), then the connection is closed
  NotJson,     // 200 with an HTML body
  Body,        // 200 with `body` as given ("{{BASE_URL}}" is expanded)
  Cookie,      // the normal answer with a Set-Cookie header
  Sleep,       // ads, hb: an /ads document that puts the placement to sleep
  WrongTypes,  // ads: every /ads field of the wrong JSON type; hb: markup of the wrong types
  Corrupt,     // bundle: a damaged zip
  ZipSlip,     // bundle: the creative plus entries that point outside the bundle folder
  Large,       // bundle: the creative plus `bytes` of incompressible data, stored
};

// One planned misbehaviour of a route. `delayMs` is waited before any mode.
struct Fault {
  FaultRoute route = FaultRoute::Ads;
  FaultMode mode = FaultMode::None;
  int status = 500;
  int delayMs = 0;
  int intervalMs = 200;
  std::size_t chunkBytes = 1;
  std::size_t bytes = 0;
  int sleepSeconds = 30;
  std::string info = "Local ad server asked for a sleep";
  std::string body;
  int count = 0;  // answers to spoil before the route behaves again; 0 = until cleared

  // {"route":"ads","mode":"status","status":500,"count":1,...}; throws std::invalid_argument.
  static Fault FromJson(const nlohmann::json& json);
  // ROUTE=MODE[:ARG][,key=value...], e.g. "ads=status:503,count=2"; throws std::invalid_argument.
  static Fault Parse(std::string_view text);
  // The route answers 200 with body for `count` answers (0: until cleared).
  static Fault Body(FaultRoute route, std::string body, int count = 0);
  nlohmann::json ToJson() const;
};

std::string_view RouteName(FaultRoute route);
std::optional<FaultRoute> RouteFromName(std::string_view name);
std::string_view ModeName(FaultMode mode);
std::optional<FaultMode> ModeFromName(std::string_view name);

}  // namespace kestrel::adserver
