#include "CommandLine.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace kestrel::adserver {

namespace {

int ToInt(const std::string& text, const std::string& flag, int max) {
  int value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || ptr != text.data() + text.size() || value < 0 || value > max) {
    throw std::invalid_argument(flag + " needs a whole number from 0 to " + std::to_string(max) + ", not '" + text +
                                "'");
  }
  return value;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::invalid_argument("cannot read " + path);
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TlsCertificate CertificateKind(const std::string& name) {
  static const std::pair<const char*, TlsCertificate> kKinds[] = {{"valid", TlsCertificate::Valid},
                                                                   {"expired", TlsCertificate::Expired},
                                                                   {"other-host", TlsCertificate::OtherHost},
                                                                   {"other-authority", TlsCertificate::OtherAuthority}};
  for (const auto& [text, kind] : kKinds) {
    if (name == text) return kind;
  }
  throw std::invalid_argument("--tls-certificate takes valid, expired, other-host or other-authority, not '" + name +
                              "'");
}

}  // namespace

CommandLine::Result CommandLine::Parse(const std::vector<std::string>& args) {
  Result result;
  auto& o = result.options;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const auto& flag = args[i];
      const auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) {
          throw std::invalid_argument(flag + " needs a value");
        }
        return args[++i];
      };
      if (flag == "-h" || flag == "--help") {
        result.help = true;
      } else if (flag == "--port") {
        o.port = ToInt(value(), flag, 65535);
      } else if (flag == "--creative") {
        o.creativeDir = value();
      } else if (flag == "--fixtures") {
        o.fixturesDir = value();
      } else if (flag == "--record") {
        o.recordFile = value();
      } else if (flag == "--fault") {
        auto fault = Fault::Parse(value());
        if (fault.mode == FaultMode::Body) {
          fault.body = ReadFile(fault.body);
        }
        o.faults.push_back(fault);
      } else if (flag == "--auto-close") {
        o.autoCloseSeconds = ToInt(value(), flag, 3600);
      } else if (flag == "--countdown") {
        o.countdownSeconds = ToInt(value(), flag, 3600);
      } else if (flag == "--tls") {
        o.tls = true;
      } else if (flag == "--tls-dir") {
        o.tlsDir = value();
      } else if (flag == "--tls-certificate") {
        o.tlsCertificate = CertificateKind(value());
      } else if (flag == "--quiet") {
        o.logRequests = false;
      } else {
        throw std::invalid_argument("unknown flag " + flag + " (see --help)");
      }
    }
  } catch (const std::invalid_argument& e) {
    result.error = e.what();
  }
  return result;
}

std::string CommandLine::Help() {
  return R"(kestrel-adserver: a local ad server for the Kestrel SDK, on 127.0.0.1 only.

It answers the SDK's /config and /ads requests from fixtures, serves the sample
creative as a zip bundle, its images and tracking URLs, records every request,
and misbehaves on demand. At start it prints one line,
  kestrel-adserver listening on http://127.0.0.1:PORT
then one line per request (method, target, status). That address is the
SDK's base URL: set KestrelSdkConfig::ConfigBaseUrl (config_base_url in C) to
http://127.0.0.1:PORT; the SDK adds /config itself. Open the same address in
a browser for the inspector: the exchanges, their privacy choices, the
tracking hits of each play, and the faults, which it can turn on and off.

Flags:
  --port N          port to listen on; 0 (the default) lets the system pick one
  --creative DIR    folder zipped as the creative bundle, index.html at its
                    top; default: the sample creative of the source tree
  --fixtures DIR    folder with config.json (the /config answer; "{{BASE_URL}}"
                    in its strings becomes http://127.0.0.1:PORT) and assets/
                    (the images an ad names); default: the source tree's
  --record FILE     also append every answered request to FILE as a JSON line
  --fault FAULT     plan a fault at start; repeatable (see Faults)
  --auto-close S    ads ask the creative to close itself S seconds after the
                    successful view ("AUTO_CLOSE_SECONDS"); 0 (default): never
  --countdown S     seconds the creative counts down before it reports a
                    successful view ("COUNTDOWN_SECONDS"); default 3
  --tls             serve https://localhost:PORT with a certificate of a test
                    authority (made at start unless --tls-dir has one), print
                    the authority's certificate, write https URLs into the
                    documents, and redirect plain http on a second port
  --tls-dir DIR     the test authority's folder (ca.pem, ca.key; created when
                    missing) and where server certificates are written
  --tls-certificate KIND
                    valid (default), expired, other-host (for other.invalid)
                    or other-authority (from an authority nobody trusts)
  --quiet           no line per request
  -h, --help        this text

Endpoints:
  POST /config                 the configuration document
  POST /ads                    an ad for "request"."placements"[0] of the JSON
                               body; {"ads":null} for a placement not in config
  GET  /bundles/sample.zip     the creative bundle
  GET  /assets/NAME            a file of the fixtures' assets/ folder
  GET  /tpat/EVENT?...         a tracking hit (answer 200, empty)
  GET|POST /hb/markup?placement=ID[&version=N]
                               header-bidding markup for a placement:
                               {"version":2,"adunit":base64(gzip(/ads answer)),
                                "impression":[URL]}
  GET  /hb/impression?...      a header-bidding impression hit
  GET|POST /new /log /ri /sdk_bi   answer {}
  GET  /                       the inspector (its files under /_inspector/)
  GET  /_control/exchanges[?after=SEQ]
                               what the inspector lists: {"exchanges":[{seq,
                               time_ms,method,path,route,status,fault,ev}],
                               "total":N}, those numbered after SEQ
  GET  /_control/exchanges/SEQ one recorded request as in /_control/requests,
                               with "response": {headers, body (text bodies
                               up to 64 KiB), bytes}
  GET  /_control/requests[?prefix=PATH]
                               the recorded requests as a JSON array: seq,
                               time_ms, method, path, query, target, params,
                               headers, body, json, route, status, fault,
                               client_port, response (control requests and
                               the inspector's are not recorded; the newest
                               100000 are kept)
  POST /_control/reset         forget the recorded requests and clear all
                               faults (a body, if any, is ignored)
  POST /_control/fault         set faults: a JSON object or array of objects,
                               {"route":"ads","mode":"status","status":500,
                                "count":1} (mode "none" clears the route)
  GET  /_control/faults        the planned faults
  GET  /_control/tls           with --tls: {"handshakes":N,"resumed":N,
                               "authority":PATH,"plain":URL}
  GET|POST /_control/downgrade/PATH
                               with --tls: a redirect to PATH on plain http

Faults: a FAULT reads ROUTE=MODE[:ARG][,key=value...], as in
  ads=status:503,count=2
  routes: config ads bundle asset tpat hb impression
  modes (ARG sets the key in brackets):
    status:N     answer N with a JSON error body [status]
    delay:MS     wait MS before the headers, then answer normally [delay_ms]
    slow:MS      headers at once, then the body chunk bytes at a time every
                 MS ms (default 200) [interval_ms; also chunk, default 1]
    close:B      announce the full Content-Length, send B bytes of the body
                 (default half) and close the connection [bytes]
    notjson      answer 200 with an HTML body
    body:FILE    answer 200 with FILE's text, "{{BASE_URL}}" expanded [body;
                 in JSON, "body" is the text itself]
    cookie       answer normally, with a cookie that lasts a day
                 ("Set-Cookie: kestrel-fault=1; Path=/; Max-Age=86400")
    sleep:S      ads, hb: {"ads":[{"ad_markup":{"sleep":S,"info":...}}]}
                 (default 30) [sleep; also info]
    wrongtypes   ads: every field of the ad of the wrong JSON type;
                 hb: markup whose members have the wrong types
    corrupt      bundle: a damaged zip without its central directory
    zipslip      bundle: the creative plus "../evil.txt",
                 "images/../../evil-nested.txt" and
                 "/tmp/kestrel-adserver-evil.txt"
    large:B      bundle: the creative plus B bytes (default 20000000) of
                 random data, stored uncompressed [bytes]
    none         clear the route's fault
  keys for any mode: count=N spoils N answers, then the route behaves again
  (0, the default: until cleared); delay_ms=MS waits before any mode.
)";
}

}  // namespace kestrel::adserver
