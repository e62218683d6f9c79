#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include <curl/curl.h>

#include "platform/Backend.h"
#include "platform/linux/PreconnectedSockets.h"

namespace kestrel {
namespace {

using Easy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using Url = std::unique_ptr<CURLU, decltype(&curl_url_cleanup)>;
using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// The SDK sends its URLs as it builds them; only the bytes of the path and
// query that cannot stand in a request line (blanks, control bytes, non-ASCII)
// go out percent-encoded.
std::string WireUrl(const std::string& url) {
  const auto scheme = url.find("://");
  const auto start = scheme == std::string::npos ? std::string::npos : url.find_first_of("/?#", scheme + 3);
  if (start == std::string::npos) return url;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string wire = url.substr(0, start);
  for (std::size_t i = start; i < url.size(); ++i) {
    const auto byte = static_cast<unsigned char>(url[i]);
    if (byte <= 0x20 || byte >= 0x7F) {
      wire += '%';
      wire += kHex[byte >> 4];
      wire += kHex[byte & 0x0F];
    } else {
      wire += url[i];
    }
  }
  return wire;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char a = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (a != prefix[i]) return false;
  }
  return true;
}

bool IsFollowedRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What one exchange receives, and where it goes.
struct Transfer {
  std::string* body = nullptr;  // null: the body is written to file or dropped
  std::FILE* file = nullptr;
  std::string tempPath;
  bool writeFailed = false;
  long blockStatus = 0;  // status line of the header block being read
  bool blockLocation = false;
  long finalStatus = 0;  // status of the answer that is not a followed redirect; 0 until its headers ended
  PreconnectedSockets* preconnected = nullptr;
  curl_socket_t takenSocket = CURL_SOCKET_BAD;  // a preconnected socket this exchange took

  static curl_socket_t OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
    auto& t = *static_cast<Transfer*>(self);
    if (purpose == CURLSOCKTYPE_IPCXN && t.preconnected) {
      const int fd = t.preconnected->Take(&address->addr, address->addrlen);
      if (fd >= 0) return t.takenSocket = fd;
    }
    const int fd = socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    return fd < 0 ? CURL_SOCKET_BAD : fd;
  }

  static int OnSocketOptions(void* self, curl_socket_t fd, curlsocktype /*purpose*/) {
    return fd == static_cast<Transfer*>(self)->takenSocket ? CURL_SOCKOPT_ALREADY_CONNECTED : CURL_SOCKOPT_OK;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& t = *static_cast<Transfer*>(self);
    const std::size_t n = size * count;
    if (t.file) {
      if (std::fwrite(data, 1, n, t.file) != n) {
        t.writeFailed = true;
        return 0;  // ends the exchange
      }
    } else if (t.body) {
      t.body->append(data, n);
    }
    return n;
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto& t = *static_cast<Transfer*>(self);
    const std::size_t n = size * count;
    const std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
      const auto space = line.find(' ');
      long status = 0;
      if (space != std::string_view::npos) std::from_chars(line.data() + space + 1, line.data() + n, status);
      t.blockStatus = status;
      t.blockLocation = false;
    } else if (StartsWithNoCase(line, "location:")) {
      t.blockLocation = true;
    } else if (line == "\r\n" || line == "\n") {
      if (t.blockStatus >= 200 && !(IsFollowedRedirect(t.blockStatus) && t.blockLocation)) {
        t.finalStatus = t.blockStatus;
      }
    }
    return n;
  }

  // A temporary file beside path; false when it cannot be created.
  bool OpenTemp(const std::string& path) {
    std::vector<char> name(path.begin(), path.end());
    for (char c : std::string_view(".XXXXXX")) name.push_back(c);
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    fchmod(fd, 0644);
    file = fdopen(fd, "wb");
    if (!file) {
      close(fd);
      unlink(name.data());
      return false;
    }
    tempPath = name.data();
    return true;
  }

  // Closes the temporary file; it becomes path when keep is set, else it is removed. False on a write failure.
  bool CloseTemp(bool keep, const std::string& path) {
    if (!file) return true;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (keep && closed && !writeFailed && std::rename(tempPath.c_str(), path.c_str()) == 0) return true;
    unlink(tempPath.c_str());
    return !keep;
  }
};

// libcurl behind IHttpClient. Exchanges share the DNS cache, TLS sessions and
// the connections: an exchange takes an idle kept-alive connection to its
// server when there is one, else a preconnected socket, and leaves its
// connection open for the next.
class CurlHttpClient : public IHttpClient {
 public:
  explicit CurlHttpClient(const HttpLimits& limits) : m_limits(limits) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_share = curl_share_init();
    if (m_share) {
      curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &CurlHttpClient::Lock);
      curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &CurlHttpClient::Unlock);
      curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
      curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
      curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
      curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    }
  }

  ~CurlHttpClient() override {
    if (m_share) curl_share_cleanup(m_share);
  }

  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  HttpResult Exchange(const HttpExchange& exchange) override {
    HttpResult result;
    Url url(curl_url(), &curl_url_cleanup);
    HeaderList headers(nullptr, &curl_slist_free_all);
    Easy easy(curl_easy_init(), &curl_easy_cleanup);  // cleaned up first: it refers to url and headers
    if (!url || !easy) return Fail(result, HttpFailure::Session);

    if (curl_url_set(url.get(), CURLUPART_URL, WireUrl(exchange.url).c_str(), 0) != CURLUE_OK) {
      return Fail(result, HttpFailure::Url);
    }
    char* scheme = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return Fail(result, HttpFailure::Url);
    const std::string schemeText = scheme;
    curl_free(scheme);
    if (schemeText != "http" && schemeText != "https") return Fail(result, HttpFailure::Url);

    for (const auto& line : exchange.headers) {
      if (!Append(headers, line)) return Fail(result, HttpFailure::Request);
    }
    if (!Append(headers, "Expect:")) return Fail(result, HttpFailure::Request);  // no 100-continue round trip

    Transfer transfer;
    transfer.preconnected = m_preconnected.get();
    std::string body;
    transfer.body = exchange.saveTo.empty() ? &body : nullptr;

    CURL* h = easy.get();
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(h, option, value) == CURLE_OK; };
    set(CURLOPT_CURLU, url.get());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are followed, but never from https down to http.
    set(CURLOPT_REDIR_PROTOCOLS_STR, schemeText == "https" ? "https" : "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, 10L);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(m_limits.connectTimeout.count()));
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_limits.lowSpeedTime.count()));
    set(CURLOPT_USERAGENT, exchange.agent.c_str());
    set(CURLOPT_HTTPHEADER, headers.get());
    set(CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
    set(CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(&transfer));
    if (m_share) set(CURLOPT_SHARE, m_share);
    set(CURLOPT_OPENSOCKETFUNCTION, &Transfer::OnOpenSocket);
    set(CURLOPT_OPENSOCKETDATA, static_cast<void*>(&transfer));
    set(CURLOPT_SOCKOPTFUNCTION, &Transfer::OnSocketOptions);
    set(CURLOPT_SOCKOPTDATA, static_cast<void*>(&transfer));
    if (exchange.verb == "POST") {
      const std::string& data = exchange.body ? *exchange.body : kEmpty;
      set(CURLOPT_POST, 1L);
      set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(data.size()));
      set(CURLOPT_POSTFIELDS, data.c_str());
    } else {
      set(CURLOPT_HTTPGET, 1L);
    }
    if (!ok) return Fail(result, HttpFailure::Request);

    if (!exchange.saveTo.empty()) result.fileCreated = transfer.OpenTemp(exchange.saveTo);

    const CURLcode code = curl_easy_perform(h);
    if (code == CURLE_OK) {
      long status = 0;
      curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
      result.statusCode = static_cast<std::int32_t>(status);
      result.body = std::move(body);
      if (!transfer.CloseTemp(true, exchange.saveTo)) {
        result.fileCreated = false;
        Fail(result, HttpFailure::WriteFile);
      }
      return result;
    }
    transfer.CloseTemp(false, exchange.saveTo);
    result.fileCreated = false;
    result.statusCode = static_cast<std::int32_t>(transfer.finalStatus);
    if (transfer.writeFailed) return Fail(result, HttpFailure::WriteFile);
    result.error = code;
    return Fail(result, transfer.finalStatus ? HttpFailure::Read : HttpFailure::Send);
  }

  void Preconnect(const std::string& url, int count) override {
    Url parsed(curl_url(), &curl_url_cleanup);
    char* host = nullptr;
    char* port = nullptr;
    if (parsed && curl_url_set(parsed.get(), CURLUPART_URL, WireUrl(url).c_str(), 0) == CURLUE_OK &&
        curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parsed.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      std::string name = host;
      if (name.size() > 2 && name.front() == '[') name = name.substr(1, name.size() - 2);  // an IPv6 literal
      m_preconnected->Open(name, std::atoi(port), count, m_limits.connectTimeout);
    }
    curl_free(host);
    curl_free(port);
  }

 private:
  static constexpr std::size_t kLockSlots = CURL_LOCK_DATA_LAST;
  inline static const std::string kEmpty;

  static HttpResult& Fail(HttpResult& result, HttpFailure failure) {
    result.failure = failure;
    return result;
  }

  static bool Append(HeaderList& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown) return false;
    list.release();
    list.reset(grown);
    return true;
  }

  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<CurlHttpClient*>(self)->m_locks[static_cast<std::size_t>(data) % kLockSlots].lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<CurlHttpClient*>(self)->m_locks[static_cast<std::size_t>(data) % kLockSlots].unlock();
  }

  HttpLimits m_limits;
  CURLSH* m_share = nullptr;
  std::array<std::mutex, kLockSlots> m_locks;  // one per kind of shared data
  // Shared with the threads that connect them, which may outlive the client.
  std::shared_ptr<PreconnectedSockets> m_preconnected = std::make_shared<PreconnectedSockets>();
};

}  // namespace

std::unique_ptr<IHttpClient> CreateHttpClient(const HttpLimits& limits) {
  return std::make_unique<CurlHttpClient>(limits);
}

}  // namespace kestrel
