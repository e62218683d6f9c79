#include "TestHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zip.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace kestrel::adserver::test {

httplib::Client Client(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(std::chrono::seconds(10));
  client.set_read_timeout(std::chrono::seconds(30));
  return client;
}

nlohmann::json JsonOf(const httplib::Result& result) {
  if (!result) {
    ADD_FAILURE() << "no answer: " << httplib::to_string(result.error());
    return {};
  }
  auto json = nlohmann::json::parse(result->body, nullptr, false);
  if (json.is_discarded()) {
    ADD_FAILURE() << "not JSON: " << result->body.substr(0, 200);
    return {};
  }
  return json;
}

std::string AdsBody(const std::string& placement) {
  return nlohmann::json{{"app", {{"id", "test-app"}}},
                        {"request", {{"header_bidding", false}, {"placements", nlohmann::json::array({placement})}}}}
      .dump();
}

std::string PathOf(const std::string& url) {
  const auto host = url.find("//");
  const auto slash = url.find('/', host == std::string::npos ? 0 : host + 2);
  return slash == std::string::npos ? "/" : url.substr(slash);
}

long long RawAnswer::ContentLength() const {
  const std::string key = "\r\nContent-Length: ";
  const auto at = head.find(key);
  return at == std::string::npos ? -1 : std::stoll(head.substr(at + key.size()));
}

RawAnswer RawExchange(int port, const std::string& request, std::chrono::milliseconds deadline) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    throw std::runtime_error("socket failed");
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    throw std::runtime_error("connect failed");
  }
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);

  RawAnswer answer;
  std::string bytes;
  const auto end = std::chrono::steady_clock::now() + deadline;
  char buffer[8192];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 1))) <= 0) {
      continue;
    }
    const auto n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
      answer.closed = true;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  const auto split = bytes.find("\r\n\r\n");
  answer.head = bytes.substr(0, split);
  answer.body = split == std::string::npos ? std::string() : bytes.substr(split + 4);
  return answer;
}

std::vector<ZipEntry> ReadZip(const std::string& bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error) : nullptr;
  if (archive == nullptr) {
    if (source != nullptr) {
      zip_source_free(source);
    }
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw std::runtime_error("zip does not open: " + text);
  }
  std::vector<ZipEntry> entries;
  const auto count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    ZipEntry entry{stat.name, std::string(stat.size, '\0'), stat.comp_method};
    if (zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0)) {
      const auto read = zip_fread(file, entry.data.data(), entry.data.size());
      zip_fclose(file);
      if (read != static_cast<zip_int64_t>(stat.size)) {
        zip_close(archive);
        throw std::runtime_error("short read of " + entry.name);
      }
    }
    entries.push_back(std::move(entry));
  }
  zip_close(archive);
  return entries;
}

}  // namespace kestrel::adserver::test
