#include "net/HttpTransport.h"

#include <optional>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "net/AssetRequest.h"
#include "net/AssetResponse.h"
#include "net/IExchangeOwner.h"
#include "net/ZipExtractor.h"
#include "platform/Paths.h"
#include "platform/PlatformServices.h"
#include "storage/IFileSystemController.h"

namespace kestrel {
namespace {

constexpr const char* kLoopback = "loopback";  // kept for the interface; the SDK sends nothing there
constexpr const char* kDefaultAgent = "Tovane Win32 SDK";

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// One path segment that cannot leave its folder.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::optional<std::string> BuildBody(const RequestBase& request) {
  if (request.m_requestType == RequestBase::kJsonPost) {
    if (request.m_body.empty()) return std::nullopt;  // null, {} or []
    return request.m_body.dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  if (request.m_requestType == RequestBase::kFormPost) {
    std::string body;
    bool first = true;
    for (const auto& [key, value] : request.m_body.items()) {
      if (!value.is_string()) throw std::runtime_error(std::string("type must be string, but is ") + value.type_name());
      if (!first) body += '&';
      first = false;
      body += PercentEncode(key) + "=" + PercentEncode(value.get_ref<const std::string&>());
    }
    return body;
  }
  return std::nullopt;
}

// The file a download goes to, after creating its folder; empty when the names would leave the creatives folder.
std::string PrepareDownload(const AssetRequest& request) {
  auto fileSystem = ControllerRegistry::GetFileSystemController();
  if (!fileSystem)
    throw std::runtime_error("Can't save " + request.m_fileName + " because we don't have a FileSystemController!");
  if (!IsPlainName(request.m_folderName) || !IsPlainName(request.m_fileName)) return {};
  const std::string folder = JoinPath(fileSystem->GetCreativesFolder(), request.m_folderName);
  fileSystem->CreateFolder(folder);
  return JoinPath(folder, request.m_fileName);
}

// Throws the error of a failed exchange with the text logs show on every platform.
void ThrowFailure(const HttpResult& result, const std::string& url, const std::string& file) {
  switch (result.failure) {
    case HttpFailure::None: return;
    case HttpFailure::Session: throw std::runtime_error("InternetOpenW failed");
    case HttpFailure::Url: throw std::runtime_error("InternetCrackUrlW failed for: " + url);
    case HttpFailure::Request: throw std::runtime_error("HttpOpenRequestW failed");
    case HttpFailure::Send: throw std::runtime_error("HttpSendRequestW failed. Error: " + std::to_string(result.error));
    case HttpFailure::Read: throw std::runtime_error("InternetReadFile failed");
    case HttpFailure::WriteFile: throw std::runtime_error("Failed to write file: " + file);
  }
}

}  // namespace

std::string PercentEncode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                       byte == '-' || byte == '.' || byte == '_' || byte == '~';
    if (plain) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string BuildRequestUrl(const RequestBase& request) {
  std::string url = request.m_url;
  for (const auto& [key, value] : request.m_queryParameters) {
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += key + "=" + value;
  }
  return url;
}

std::shared_ptr<ResponseBase> ExecuteRequest(IExchangeOwner& owner,
                                             const std::shared_ptr<RequestBase>& request) {
  auto response = owner.CreateResponse(request);
  if (request->m_url == kLoopback) return response;
  try {
    HttpExchange exchange;
    exchange.url = BuildRequestUrl(*request);
    const auto agent = request->m_headers.find("User-Agent");
    exchange.agent = agent == request->m_headers.end() || agent->second.empty() ? kDefaultAgent : agent->second;
    const bool post =
        request->m_requestType == RequestBase::kFormPost || request->m_requestType == RequestBase::kJsonPost;
    exchange.verb = post ? "POST" : "GET";
    for (const auto& [name, value] : request->m_headers) exchange.headers.push_back(name + ": " + value);
    if (request->m_requestType == RequestBase::kFormPost) {
      exchange.headers.emplace_back("Content-Type: application/x-www-form-urlencoded");
    } else if (request->m_requestType == RequestBase::kJsonPost) {
      exchange.headers.emplace_back("Content-Type: application/json");
    }
    exchange.body = BuildBody(*request);

    const auto* asset = request->m_saveToFile ? dynamic_cast<const AssetRequest*>(request.get()) : nullptr;
    if (asset) exchange.saveTo = PrepareDownload(*asset);

    HttpResult result = PlatformServices::HttpClient()->Exchange(exchange);
    response->m_httpStatusCode = result.statusCode;
    auto* saved = asset ? dynamic_cast<AssetResponse*>(response.get()) : nullptr;
    // A part the disk would not take is a failed part, told apart from a network failure.
    const bool notCreated = !exchange.saveTo.empty() && result.failure == HttpFailure::None && !result.fileCreated;
    if (saved && (result.failure == HttpFailure::WriteFile || notCreated)) saved->m_notSaved = true;
    if (notCreated) throw std::runtime_error("Failed to create file: " + exchange.saveTo);
    ThrowFailure(result, exchange.url, exchange.saveTo);

    if (asset) {
      if (!result.fileCreated) {
        WriteLine(stderr, "Can't write response to file because we couldn't create the file!.");
      } else {
        if (saved) saved->m_savedFile = exchange.saveTo;
        if (EndsWith(asset->m_fileName, ".zip")) {
          try {
            ExtractZip(asset->m_fileName, asset->m_folderName);
          } catch (const std::exception&) {
            if (saved) saved->m_notSaved = true;
            throw;
          }
        }
      }
    } else if (!request->m_saveToFile) {
      response->m_text = std::move(result.body);
    }
    LogInfo("Done reading response from " + request->m_url);
  } catch (const std::exception& e) {
    response->m_status = ResponseBase::kFailed;
    response->m_text = e.what();
    LogError("Url: " + request->m_url + ". Error: " + e.what());
    LogError(e.what());
  }
  owner.NotifyResponseListeners(response);
  return response;
}

}  // namespace kestrel
