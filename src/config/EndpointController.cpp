#include "config/EndpointController.h"

namespace kestrel {
namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\n\r\f\v";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string JoinUrl(const std::string& base, const std::string& path) {
  std::string b = Trim(base);
  std::string p = Trim(path);
  if (b.empty()) return p;
  if (p.empty()) return b;
  if (b.back() == '/') b.pop_back();
  if (p.front() != '/') p.insert(p.begin(), '/');
  return b + p;
}

EndpointController::EndpointController() : m_configUrl(JoinUrl(kDefaultConfigEndpoint, "/config")) {}

std::future<bool> EndpointController::Initialize() {
  return MakeReadyFuture(true);
}

std::string EndpointController::Get(const std::string& member) {
  std::lock_guard lock(m_mutex);
  return member;
}

void EndpointController::Set(std::string& member, const std::string& url) {
  std::lock_guard lock(m_mutex);
  member = url;
}

std::string EndpointController::GetConfigUrl() {
  return Get(m_configUrl);
}
void EndpointController::SetConfigUrl(const std::string& url) {
  Set(m_configUrl, url);
}
std::string EndpointController::GetNewEndpoint() {
  return Get(m_newEndpoint);
}
void EndpointController::SetNewEndpoint(const std::string& url) {
  Set(m_newEndpoint, url);
}
std::string EndpointController::GetAdsUrl() {
  return Get(m_adsUrl);
}
void EndpointController::SetAdsUrl(const std::string& url) {
  Set(m_adsUrl, url);
}
std::string EndpointController::GetLogEndpoint() {
  return Get(m_logEndpoint);
}
void EndpointController::SetLogEndpoint(const std::string& url) {
  Set(m_logEndpoint, url);
}
std::string EndpointController::GetRiEndpoint() {
  return Get(m_riEndpoint);
}
void EndpointController::SetRiEndpoint(const std::string& url) {
  Set(m_riEndpoint, url);
}
std::string EndpointController::GetSdkBiEndpoint() {
  return Get(m_sdkBiEndpoint);
}
void EndpointController::SetSdkBiEndpoint(const std::string& url) {
  Set(m_sdkBiEndpoint, url);
}

}  // namespace kestrel
