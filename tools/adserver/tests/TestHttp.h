#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace kestrel::adserver::test {

// A client for the server on 127.0.0.1:port with generous time-outs.
httplib::Client Client(int port);

// The JSON body of an answer; fails the current test when it is not JSON.
nlohmann::json JsonOf(const httplib::Result& result);

// A /ads request body for the placement, as the SDK builds it.
std::string AdsBody(const std::string& placement);

// Splits an absolute http://127.0.0.1:PORT URL into its path and query.
std::string PathOf(const std::string& url);

// What came back on a raw socket: the head (status line and headers) and the
// body bytes read until the server closed the connection.
struct RawAnswer {
  std::string head;
  std::string body;
  bool closed = false;  // the server closed the connection before the deadline
  long long ContentLength() const;
};

// Sends the bytes on a new connection and reads until the server closes it.
RawAnswer RawExchange(int port, const std::string& request,
                      std::chrono::milliseconds deadline = std::chrono::seconds(20));

struct ZipEntry {
  std::string name;
  std::string data;
  int method = 0;  // ZIP_CM_STORE, ZIP_CM_DEFLATE, ...
};
// The entries of an archive held in memory; throws std::runtime_error when it does not open.
std::vector<ZipEntry> ReadZip(const std::string& bytes);

}  // namespace kestrel::adserver::test
