// HTTP, raw sockets and zip reading for the ad server's tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <stdexcept>
#include <string>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace kestrel::adserver::test {

// A client for the server on 127.0.0.1:port with a generous read time-out.
inline httplib::Client Client(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(std::chrono::seconds(30));
  return client;
}

// The JSON body of an answer; fails the current test when it is not JSON.
inline nlohmann::json JsonOf(const httplib::Result& result) {
  const auto json = nlohmann::json::parse(result ? result->body : "", nullptr, false);
  if (json.is_discarded()) ADD_FAILURE() << "not JSON: " << (result ? result->body.substr(0, 200) : "no answer");
  return json.is_discarded() ? nlohmann::json() : json;
}

// A /ads request body for the placement, as the SDK builds it.
inline std::string AdsBody(const std::string& placement) {
  return nlohmann::json{{"app", {{"id", "test-app"}}},
                        {"request", {{"header_bidding", false}, {"placements", nlohmann::json::array({placement})}}}}
      .dump();
}

// Sends "METHOD target" as written on a new connection; what came back until the server closed it.
inline std::string RawExchange(int port, const std::string& method, const std::string& target) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in addr{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
  std::string bytes;
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
    const std::string request = method + " " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[8192];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) bytes.append(buffer, static_cast<std::size_t>(n));
  }
  if (fd >= 0) close(fd);
  return bytes;
}

// The entries of an archive held in memory, name to data; throws std::runtime_error when it does not read whole.
inline std::map<std::string, std::string> ReadZip(const std::string& bytes) {
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, nullptr);
  zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, nullptr) : nullptr;
  if (!archive) throw std::runtime_error("zip does not open");  // the source leaks: the test fails anyway
  std::map<std::string, std::string> entries;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    std::string data(stat.size, '\0');
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    const bool whole = file && zip_fread(file, data.data(), data.size()) == static_cast<zip_int64_t>(stat.size);
    if (file) zip_fclose(file);
    if (!whole) throw std::runtime_error(std::string("short read of ") + stat.name);
    entries[stat.name] = std::move(data);
  }
  zip_close(archive);
  return entries;
}

}  // namespace kestrel::adserver::test
