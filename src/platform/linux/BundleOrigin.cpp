#include "platform/linux/BundleOrigin.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "base/Guarded.h"
#include "base/Log.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// The folder of every live origin, by host name.
struct Origins {
  std::mutex mutex;
  std::map<std::string, fs::path> folders;
  std::uint64_t made = 0;
};

Origins& AllOrigins() {
  static auto* origins = new Origins();  // kept to the end: requests may come while the process exits
  return *origins;
}

const char* ContentType(const fs::path& file) {
  static const std::map<std::string, const char*> kTypes = {
      {".html", "text/html"},   {".htm", "text/html"},         {".js", "text/javascript"}, {".mjs", "text/javascript"},
      {".css", "text/css"},     {".json", "application/json"}, {".txt", "text/plain"},     {".png", "image/png"},
      {".jpg", "image/jpeg"},   {".jpeg", "image/jpeg"},       {".gif", "image/gif"},      {".svg", "image/svg+xml"},
      {".webp", "image/webp"},  {".ico", "image/x-icon"},      {".mp4", "video/mp4"},      {".webm", "video/webm"},
      {".mp3", "audio/mpeg"},   {".ogg", "audio/ogg"},         {".wav", "audio/wav"},      {".woff", "font/woff"},
      {".woff2", "font/woff2"}, {".ttf", "font/ttf"},          {".otf", "font/otf"},
  };
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto type = kTypes.find(extension);
  return type != kTypes.end() ? type->second : "application/octet-stream";
}

// The regular file inside the host's folder that the url's path names, if any.
// Each path segment is decoded on its own: one that decodes to "." or "..",
// holds an encoded "/" or NUL, or is empty names nothing. Links are followed,
// and the file they lead to must still be inside the folder.
std::optional<fs::path> FileFor(const std::string& uri) {
  std::unique_ptr<GUri, decltype(&g_uri_unref)> url(g_uri_parse(uri.c_str(), G_URI_FLAGS_ENCODED, nullptr),
                                                    g_uri_unref);
  if (!url || !g_uri_get_host(url.get())) return std::nullopt;
  fs::path folder;
  {
    Origins& origins = AllOrigins();
    std::lock_guard lock(origins.mutex);
    const auto found = origins.folders.find(g_uri_get_host(url.get()));
    if (found == origins.folders.end()) return std::nullopt;
    folder = found->second;
  }
  const std::string path = g_uri_get_path(url.get());
  if (path.empty() || path.front() != '/') return std::nullopt;
  fs::path file = folder;
  for (std::size_t start = 1; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    gchar* decoded = g_uri_unescape_segment(path.data() + start, path.data() + end, "/");
    if (!decoded) return std::nullopt;
    const std::string name = decoded;
    g_free(decoded);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    file /= name;
    start = end + 1;
  }
  std::error_code error;
  const fs::path real = fs::canonical(file, error);
  if (error) return std::nullopt;
  const fs::path realFolder = fs::canonical(folder, error);
  if (error || !fs::is_regular_file(real, error)) return std::nullopt;
  if (std::mismatch(realFolder.begin(), realFolder.end(), real.begin(), real.end()).first != realFolder.end()) {
    return std::nullopt;
  }
  return real;
}

void Finish(WebKitURISchemeRequest* request, GInputStream* body, gint64 length, guint status, const char* type) {
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(body, length);
  webkit_uri_scheme_response_set_status(response, status, nullptr);
  webkit_uri_scheme_response_set_content_type(response, type);
  // Pages read the type from the headers (fetch, for one).
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_replace(headers, "Content-Type", type);
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
}

// Runs on the GTK thread, for every request to the scheme. Every request is
// answered: with the file, or with a 404 and a log line.
void Answer(WebKitURISchemeRequest* request, gpointer /*data*/) {
  bool served = false;
  RunLogged("Could not answer a request for the ad's bundle.", [&] {
    const std::string uri = webkit_uri_scheme_request_get_uri(request);
    if (const std::optional<fs::path> file = FileFor(uri)) {
      const char* type = ContentType(*file);
      std::error_code error;
      const std::uintmax_t size = fs::file_size(*file, error);
      GFile* handle = g_file_new_for_path(file->c_str());
      GFileInputStream* stream = error ? nullptr : g_file_read(handle, nullptr, nullptr);
      g_object_unref(handle);
      if (stream) {
        Finish(request, G_INPUT_STREAM(stream), static_cast<gint64>(size), 200, type);
        g_object_unref(stream);
        served = true;
        return;
      }
    }
    LogWarn("Not in the ad's bundle, so not served: " + uri);
  });
  if (served) return;
  GInputStream* nothing = g_memory_input_stream_new();
  Finish(request, nothing, 0, 404, "text/plain");
  g_object_unref(nothing);
}

}  // namespace

void BundleOrigin::RegisterScheme(WebKitWebContext* context) {
  webkit_web_context_register_uri_scheme(context, kScheme, Answer, nullptr, nullptr);
  // Pages of the scheme are secure contexts (WebKit 2.50 makes them so anyway).
  webkit_security_manager_register_uri_scheme_as_secure(webkit_web_context_get_security_manager(context), kScheme);
}

BundleOrigin::BundleOrigin(const std::string& folder) {
  Origins& origins = AllOrigins();
  std::lock_guard lock(origins.mutex);
  m_host = "b" + std::to_string(++origins.made);
  std::error_code error;
  origins.folders[m_host] = fs::absolute(fs::path(folder), error).lexically_normal();
  m_baseUrl = std::string(kScheme) + "://" + m_host + "/";
}

BundleOrigin::~BundleOrigin() {
  Origins& origins = AllOrigins();
  std::lock_guard lock(origins.mutex);
  origins.folders.erase(m_host);
}

}  // namespace kestrel
