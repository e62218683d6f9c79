#include "display/MraidCommandReceiverController.h"

#include <exception>
#include <nlohmann/json.hpp>
#include <system_error>

#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "base/WorkQueue.h"
#include "display/CreativeUrl.h"
#include "display/DisplayAdController.h"
#include "display/StoreLink.h"
#include "platform/PlatformServices.h"
#include "privacy/IGdprController.h"
#include "server/ITpatController.h"

namespace kestrel {
namespace {

bool IsStoreViewCommand(const std::string& name) {
  return name == "preparestoreview" || name == "presentstoreview" || name == "preparestoreoverlayview" ||
         name == "presentstoreoverlayview" || name == "dismissstoreoverlayview";
}

bool IsIgnoredCommand(const std::string& name) {
  return name == "propertieschangecompleted" || name == "actionwithvalue" || name == "error" ||
         name == "setorientationproperties" || name == "usecustomclose" || name == "usecustomprivacy" ||
         name == "userinteraction" || name == "creativeheartbeat";
}

// The playing ad, or null after logging that the command has none to act on.
DisplayAdController* RequireAd(DisplayAdController* ad, const std::string& message) {
  if (!ad) LogError("No playing ad for MRAID command: " + message);
  return ad;
}

}  // namespace

std::future<bool> MraidCommandReceiverController::Initialize() {
  return MakeReadyFuture(true);
}

bool MraidCommandReceiverController::ProcessReceivedMraidCommand(const std::string& message, DisplayAdController* ad) {
  try {
    if (!MraidCommand::IsCommandUrl(message)) {
      LogError("Unknown Command received from Creative bridge: " + message);
      return false;
    }
    if (MraidCommand::Scheme(message) != "mraid") {
      LogError("Received non-mraid command from creative! " + message);
      return false;
    }
    return Dispatch(message, ad);
  } catch (const std::exception& e) {
    LogException(e);
    LogError(std::string("Exception in ProcessReceivedMraidCommand: ") + e.what());
  } catch (...) {
    LogError("Exception in ProcessReceivedMraidCommand: unknown exception");
  }
  return false;
}

bool MraidCommandReceiverController::Dispatch(const std::string& message, DisplayAdController* ad) {
  const auto parameters = MraidCommand::ParseParameters(message);
  const std::string name = MraidCommand::Name(message);

  if (name == "close") {
    if (RequireAd(ad, message)) ad->CloseAd();
    return false;
  }
  if (name == "open") {
    const auto url = parameters.find("url");
    if (ad && !ad->AllowsOpen(url != parameters.end() ? url->second : std::string())) return true;
    if (RequireAd(ad, message)) ad->OnAdClicked();
    OpenStoreUrl(parameters);
  } else if (IsStoreViewCommand(name)) {
    LogWarn("Windows SDK should not receive this MRAID command: " + message);
  } else if (name == "consentaction") {
    if (auto gdpr = ControllerRegistry::GetGdprController()) {
      Json commandParams = Json::object();
      for (const auto& [key, value] : parameters) commandParams[key] = value;
      gdpr->HandleMraidConsentAction(commandParams);
    }
  } else if (name == "action") {
    LogError("Action (without value) command is deprecated: " + message);
  } else if (name == "tpat") {
    if (auto tpat = ControllerRegistry::GetTpatController()) {
      if (RequireAd(ad, message) && ad->AllowsTrackingEvent()) {
        SendTpatAside(std::move(tpat), ad->GetTpatsModel(), parameters);
      }
    }
  } else if (name == "successfulview") {
    if (RequireAd(ad, message)) ad->OnSuccessfulView();
  } else if (name == "openprivacy") {
    OpenPrivacyPage(parameters);
  } else if (!IsIgnoredCommand(name)) {
    LogError("Don't know how to handle MRAID " + message + " command.");
  }
  return true;
}

void MraidCommandReceiverController::SendTpatAside(std::shared_ptr<ITpatController> tpat,
                                                   std::shared_ptr<TpatsModel> model,
                                                   const MraidCommand::Parameters& parameters) {
  // One tracking thread: the hits of one command go out after those of the one before.
  static auto* tracking = new WorkQueue(1);
  tracking->Post([tpat, model, parameters] { tpat->SendTpat(model, parameters); });
}

void MraidCommandReceiverController::OpenStoreUrl(const MraidCommand::Parameters& parameters) {
  const auto found = parameters.find("url");
  if (found == parameters.end()) {
    LogError("open command doesn't have a url!");
    return;
  }
  LogInfo("Opening Store URL: " + found->second);
  const std::string cleaned = CreativeUrl::Unescape(found->second);
  LogInfo("Cleaned Store URL: " + cleaned);

  auto opener = PlatformServices::UrlOpener();
  std::string url = cleaned;
  bool storeLink = false;
  if (const auto productId = StoreLink::FindProductId(cleaned)) {
    LogInfo("Found ProductId: " + *productId);
    // Without a store on this platform the web page of the product opens instead.
    if (opener->OpensStoreLinks()) {
      url = StoreLink::DeepLink(*productId);
      storeLink = true;
    }
  }
  if (!storeLink && !CreativeUrl::IsWebUrl(url)) {
    LogError("Not opening a url that is not http or https: " + url);
    return;
  }
  LogInfo("Opening Store URL: " + url);
  opener->Open(url);
}

void MraidCommandReceiverController::OpenPrivacyPage(const MraidCommand::Parameters& parameters) {
  const auto found = parameters.find("url");
  const std::string url = found != parameters.end() ? found->second : kDefaultPrivacyUrl;
  if (!CreativeUrl::IsPrivacyPageUrl(url)) {
    LogError("Not opening privacy page url: " + url);
    return;
  }
  PlatformServices::UrlOpener()->Open(url);
}

}  // namespace kestrel
