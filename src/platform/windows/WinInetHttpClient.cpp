#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Backend.h"
#include "platform/windows/Utf16.h"

namespace kestrel {
namespace {

constexpr DWORD kPathUnits = 2048;
constexpr DWORD kReadBytes = 4096;
constexpr int kMaxRedirects = 10;

struct HandleCloser {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

DWORD Milliseconds(std::chrono::seconds limit) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(limit).count();
  return static_cast<DWORD>(std::clamp<long long>(ms, 0, std::numeric_limits<DWORD>::max()));
}

// A file beside the download's final path that takes its name only when the
// whole body has been written; otherwise it is removed.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { Discard(); }

  // False when no temporary file can be created beside path.
  bool Open(const std::wstring& path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
      const unsigned tag = (GetCurrentProcessId() * 7919u) ^ (GetTickCount() << 8) ^ counter.fetch_add(1);
      m_path = path + L"." + std::to_wstring(tag) + L".part";
      m_file = CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (m_file != INVALID_HANDLE_VALUE) return true;
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    m_path.clear();
    return false;
  }

  bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }

  bool Write(const char* data, DWORD size) {
    while (size > 0) {
      DWORD written = 0;
      if (!WriteFile(m_file, data, size, &written, nullptr) || written == 0) return false;
      data += written;
      size -= written;
    }
    return true;
  }

  // Closes the file and gives it the name path, replacing a file already there.
  bool Keep(const std::wstring& path) {
    const bool closed = CloseHandle(m_file) != 0;
    m_file = INVALID_HANDLE_VALUE;
    if (closed && MoveFileExW(m_path.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      m_path.clear();
      return true;
    }
    Discard();
    return false;
  }

  void Discard() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (!m_path.empty()) DeleteFileW(m_path.c_str());
    m_path.clear();
  }

 private:
  HANDLE m_file = INVALID_HANDLE_VALUE;
  std::wstring m_path;
};

// WinINet behind IHttpClient: every exchange opens its own session,
// connection and request handles and closes them when it ends.
class WinInetHttpClient : public IHttpClient {
 public:
  explicit WinInetHttpClient(const HttpLimits& limits)
      : m_connectTimeout(Milliseconds(limits.connectTimeout)), m_receiveTimeout(Milliseconds(limits.lowSpeedTime)) {}

  // Redirects of a plain http exchange are WinINet's to follow. An https
  // exchange follows them itself, and only to https: Wine's WinINet would
  // follow one down to http without a word.
  HttpResult Exchange(const HttpExchange& exchange) override {
    HttpExchange hop = exchange;
    for (int redirects = 0;; ++redirects) {
      std::string next;
      HttpResult result = ExchangeOnce(hop, next);
      if (next.empty()) return result;
      if (redirects == kMaxRedirects) return Fail(result, HttpFailure::Send, ERROR_HTTP_REDIRECT_FAILED);
      // As browsers do: a 303, and a POST answered by 301 or 302, go on as a GET without a body.
      if (result.statusCode == 303 || (hop.verb == "POST" && result.statusCode <= 302)) {
        hop.verb = "GET";
        hop.body.reset();
      }
      hop.url = next;
    }
  }

 private:
  // One request; `next` receives the https URL that an https exchange is redirected to.
  HttpResult ExchangeOnce(const HttpExchange& exchange, std::string& next) {
    HttpResult result;
    const std::wstring agent = ToUtf16(exchange.agent);
    Handle session(InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return Fail(result, HttpFailure::Session);

    std::wstring url = ToUtf16(exchange.url);
    // No buffers: the host and the path (with the query) point into url, however long.
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    if (url.empty() || !InternetCrackUrlW(url.c_str(), 0, 0, &parts)) return Fail(result, HttpFailure::Url);
    const std::wstring host(Part(parts.lpszHostName, parts.dwHostNameLength));
    const std::wstring path(Part(parts.lpszUrlPath, parts.dwUrlPathLength));
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if (!secure && parts.nScheme != INTERNET_SCHEME_HTTP) {
      return Fail(result, HttpFailure::Url, ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    }

    Handle connection(
        InternetConnectW(session.get(), host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Fail(result, HttpFailure::Request);

    const wchar_t* verb = exchange.verb == "POST" ? L"POST" : L"GET";
    // Nothing of the exchange is kept: no copy in the user's cache, no cookies stored or sent.
    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES;
    if (secure) flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT;
    Handle request(HttpOpenRequestW(connection.get(), verb, path.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (!request) return Fail(result, HttpFailure::Request);
    // Set on the request handle: Wine ignores time-outs of the session.
    if (!SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, m_connectTimeout) ||
        !SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, m_receiveTimeout) ||
        !SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, m_receiveTimeout)) {
      return Fail(result, HttpFailure::Request);
    }

    std::string block;
    for (const auto& line : exchange.headers) block += line + "\r\n";
    if (!block.empty()) {
      const std::wstring wide = ToUtf16(block);
      HttpAddRequestHeadersW(request.get(), wide.c_str(), static_cast<DWORD>(wide.size()),
                             HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    }

    const std::string* body = exchange.body && !exchange.body->empty() ? &*exchange.body : nullptr;
    if (body && body->size() > std::numeric_limits<DWORD>::max()) return Fail(result, HttpFailure::Request);
    if (!HttpSendRequestW(request.get(), nullptr, 0, body ? const_cast<char*>(body->data()) : nullptr,
                          body ? static_cast<DWORD>(body->size()) : 0)) {
      return Fail(result, HttpFailure::Send);
    }

    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr)) {
      result.statusCode = static_cast<std::int32_t>(status);
    }
    if (secure && (status == 301 || status == 302 || status == 303 || status == 307 || status == 308)) {
      std::wstring target = RedirectTarget(request.get(), url);
      if (!target.empty()) {
        URL_COMPONENTSW scheme{};
        scheme.dwStructSize = sizeof(scheme);
        if (!InternetCrackUrlW(target.c_str(), 0, 0, &scheme) || scheme.nScheme != INTERNET_SCHEME_HTTPS) {
          return Fail(result, HttpFailure::Send, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
        }
        next = ToUtf8(target);
        return result;
      }
    }

    TempFile file;
    const std::wstring saveTo = ToUtf16(exchange.saveTo);
    const bool download = !saveTo.empty();
    if (download) result.fileCreated = file.Open(saveTo);

    std::array<char, kReadBytes> buffer{};
    std::uint64_t received = 0;
    for (;;) {
      DWORD got = 0;
      if (!InternetReadFile(request.get(), buffer.data(), kReadBytes, &got)) {
        result.fileCreated = false;
        return Fail(result, HttpFailure::Read);
      }
      if (got == 0) break;
      received += got;
      if (!download) {
        result.body.append(buffer.data(), got);
      } else if (file.IsOpen() && !file.Write(buffer.data(), got)) {
        result.fileCreated = false;
        return Fail(result, HttpFailure::WriteFile);
      }
    }
    // Over TLS, Wine takes a connection closed in mid-body for the body's end.
    if (received != ContentLength(request.get(), received)) {
      result.fileCreated = false;
      return Fail(result, HttpFailure::Read, ERROR_INTERNET_CONNECTION_ABORTED);
    }
    if (file.IsOpen() && !file.Keep(saveTo)) {
      result.fileCreated = false;
      return Fail(result, HttpFailure::WriteFile);
    }
    return result;
  }

  // A component that InternetCrackUrlW pointed into the URL; empty when there is none.
  static std::wstring_view Part(const wchar_t* start, DWORD units) {
    return start ? std::wstring_view(start, units) : std::wstring_view();
  }

  static HttpResult& Fail(HttpResult& result, HttpFailure failure, DWORD error = GetLastError()) {
    result.failure = failure;
    result.error = static_cast<long>(error);
    return result;
  }

  // The answer's Location resolved against url; empty when there is none.
  static std::wstring RedirectTarget(HINTERNET request, const std::wstring& url) {
    std::array<wchar_t, kPathUnits> location{};
    DWORD size = sizeof(location) - sizeof(wchar_t);
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) return {};
    std::array<wchar_t, kPathUnits> combined{};
    DWORD units = kPathUnits;
    if (!InternetCombineUrlW(url.c_str(), location.data(), combined.data(), &units, ICU_NO_ENCODE)) {
      return L"invalid:";  // not https, so refused
    }
    return combined.data();
  }

  // The answer's Content-Length, or fallback when it has none. Read as text:
  // Wine does not answer HTTP_QUERY_FLAG_NUMBER64.
  static std::uint64_t ContentLength(HINTERNET request, std::uint64_t fallback) {
    std::array<wchar_t, 32> text{};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text.data(), &size, nullptr)) return fallback;
    const std::string digits = ToUtf8(text.data());
    std::uint64_t length = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    return error == std::errc{} && end == digits.data() + digits.size() ? length : fallback;
  }

  // A limit of 0 keeps WinINet's own.
  static bool SetTimeout(HINTERNET handle, DWORD option, DWORD ms) {
    return ms == 0 || InternetSetOptionW(handle, option, &ms, sizeof(ms));
  }

  DWORD m_connectTimeout;
  DWORD m_receiveTimeout;
};

}  // namespace

std::unique_ptr<IHttpClient> CreateHttpClient(const HttpLimits& limits) {
  return std::make_unique<WinInetHttpClient>(limits);
}

}  // namespace kestrel
