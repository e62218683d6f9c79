#include "display/MraidCommandReceiverController.h"

#include <exception>
#include <nlohmann/json.hpp>
#include <string>

#include "base/ControllerRegistry.h"
#include "base/Log.h"
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

MraidAnswer MraidCommandReceiverController::ProcessReceivedMraidCommand(const std::string& message,
                                                                        DisplayAdController* ad) {
  try {
    const bool mraid = MraidCommand::Scheme(message) == "mraid";
    if (!MraidCommand::IsCommandUrl(message)) {
      if (mraid && message.size() > MraidCommand::kMaxLength) {
        LogError("A command of " + std::to_string(message.size()) + " bytes from the creative was refused; " +
                 "commands over " + std::to_string(MraidCommand::kMaxLength) + " bytes are not read.");
        return {true, "it is longer than " + std::to_string(MraidCommand::kMaxLength) + " bytes"};
      }
      LogError("Unknown Command received from Creative bridge: " + message);
      if (mraid) return {true, "it is not a command the SDK can read"};
      return {};
    }
    if (!mraid) {
      LogError("Received non-mraid command from creative! " + message);
      return {};
    }
    return Dispatch(message, ad);
  } catch (const std::exception& e) {
    LogException(e);
    LogError(std::string("Exception in ProcessReceivedMraidCommand: ") + e.what());
  } catch (...) {
    LogError("Exception in ProcessReceivedMraidCommand: unknown exception");
  }
  return {true, "the SDK failed to carry it out"};
}

MraidAnswer MraidCommandReceiverController::Dispatch(const std::string& message, DisplayAdController* ad) {
  const auto parameters = MraidCommand::ParseParameters(message);
  const std::string name = MraidCommand::Name(message);
  const MraidAnswer done{true, {}};
  const MraidAnswer noAd{true, "no ad is playing"};

  if (name == "close") {
    if (!RequireAd(ad, message)) return noAd;
    ad->CloseAd();
    return {};  // the page goes with the play
  }
  if (name == "open") {
    const auto url = parameters.find("url");
    if (ad && !ad->AllowsOpen(url != parameters.end() ? url->second : std::string())) {
      return {true, "it came less than " + std::to_string(DisplayAdController::kOpenInterval.count()) +
                        " seconds after the last one"};
    }
    if (RequireAd(ad, message)) ad->OnAdClicked();
    return {true, OpenStoreUrl(parameters)};
  }
  if (IsStoreViewCommand(name)) {
    LogWarn("Windows SDK should not receive this MRAID command: " + message);
    return {true, "store views are not supported"};
  }
  if (name == "consentaction") {
    if (auto gdpr = ControllerRegistry::GetGdprController()) {
      Json commandParams = Json::object();
      for (const auto& [key, value] : parameters) commandParams[key] = value;
      gdpr->HandleMraidConsentAction(commandParams);
    }
  } else if (name == "action") {
    LogError("Action (without value) command is deprecated: " + message);
  } else if (name == "tpat") {
    if (auto tpat = ControllerRegistry::GetTpatController()) {
      if (!RequireAd(ad, message)) return noAd;
      if (!ad->AllowsTrackingEvent()) {
        return {true, "the play has sent " + std::to_string(DisplayAdController::kMaxTrackingEventsPerPlay) +
                          " tracking events already"};
      }
      tpat->SendTpat(ad->GetTpatsModel(), parameters);  // returns at once: the hits leave on their own
    }
  } else if (name == "successfulview") {
    if (!RequireAd(ad, message)) return noAd;
    ad->OnSuccessfulView();
  } else if (name == "openprivacy") {
    return {true, OpenPrivacyPage(parameters)};
  } else if (!IsIgnoredCommand(name)) {
    LogError("Don't know how to handle MRAID " + message + " command.");
    return {true, "the SDK does not know this command"};
  }
  return done;
}

std::string MraidCommandReceiverController::OpenStoreUrl(const MraidCommand::Parameters& parameters) {
  const auto found = parameters.find("url");
  if (found == parameters.end()) {
    LogError("open command doesn't have a url!");
    return "it has no url";
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
    return "its url is not an http or https address";
  }
  LogInfo("Opening Store URL: " + url);
  opener->Open(url);
  return {};
}

std::string MraidCommandReceiverController::OpenPrivacyPage(const MraidCommand::Parameters& parameters) {
  const auto found = parameters.find("url");
  const std::string url = found != parameters.end() ? found->second : kDefaultPrivacyUrl;
  if (!CreativeUrl::IsPrivacyPageUrl(url)) {
    LogError("Not opening privacy page url: " + url);
    return "its url is not a privacy page address";
  }
  PlatformServices::UrlOpener()->Open(url);
  return {};
}

}  // namespace kestrel
