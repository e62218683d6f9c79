#include "server/TpatController.h"

#include <chrono>
#include <ctime>
#include <exception>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "base/ControllerRegistry.h"
#include "base/IBaseController.h"
#include "base/Log.h"
#include "platform/Backend.h"
#include "server/IRequestController.h"
#include "server/TpatsModel.h"

namespace kestrel {
namespace {

// Local time as 14 digits, "%Y%m%d%H%M%S".
std::string TimestampText(std::chrono::system_clock::time_point at) {
  const std::tm local = ToLocalTime(std::chrono::system_clock::to_time_t(at));
  std::ostringstream text;
  text << std::put_time(&local, "%Y%m%d%H%M%S");
  return text.str();
}

}  // namespace

std::future<bool> TpatController::Initialize() {
  return MakeReadyFuture(true);
}

void TpatController::SendTpat(std::shared_ptr<TpatsModel> model,
                              const std::unordered_map<std::string, std::string>& parameters) {
  try {
    const auto event = parameters.find("event");
    if (event == parameters.end()) throw std::out_of_range("invalid unordered_map<K, T> key");
    if (!model) throw std::invalid_argument("SendTpat called without a tracking model");
    const auto at = std::chrono::system_clock::now();
    for (const auto& url : model->UrlsFor(event->second)) {
      auto requests = ControllerRegistry::GetRequestController();
      if (!requests) {
        LogError("Can't send TPAT because we don't have a RequestController!");
        continue;
      }
      // The chain holds the URL and the controller, not the model: a play that has ended still gets its hits out.
      m_chains->Add(model, url, [requests, url, at](std::function<void()> ended) {
        requests->SendTrackingUrl(url, at, std::move(ended));
      });
    }
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception in SendTpat");
  }
}

std::string TpatController::ReplaceMacros(const std::string& url) {
  return ReplaceMacrosAt(url, std::chrono::system_clock::now());
}

std::string TpatController::ReplaceMacrosAt(const std::string& url, std::chrono::system_clock::time_point at) {
  try {
    // After "%timestamp%", in this order.
    static const std::pair<const char*, const char*> kFixedMacros[] = {
        {"{{{carrier}}}", ""},         {"{{{time_dl}}}", "1"},   {"{{{vol}}}", ""},      {"{{{remote_play}}}", "false"},
        {"{{{is_success}}}", "false"}, {"{{{session_id}}}", ""}, {"{{{vlen}}}", "4000"},
    };
    std::string text = ReplaceAll(url, "%timestamp%", TimestampText(at));
    for (const auto& [macro, value] : kFixedMacros) text = ReplaceAll(std::move(text), macro, value);
    return text;
  } catch (const std::exception& e) {
    LogException(e);
    return url;
  }
}

std::string TpatController::ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace kestrel
