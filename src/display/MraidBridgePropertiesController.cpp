#include "display/MraidBridgePropertiesController.h"

#include <exception>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "device/IDeviceInfoController.h"
#include "privacy/IGdprController.h"

namespace kestrel {
namespace {

using TextMap = std::map<std::string, std::string>;

const char* Flag(bool value) {
  return value ? "true" : "false";
}

// Sets the two size objects and the two position objects of a size.
void SetSizes(Json& properties, std::int32_t width, std::int32_t height) {
  TextMap size = {{"height", std::to_string(height)}, {"width", std::to_string(width)}};
  properties["maxSize"] = size;
  properties["screenSize"] = size;
  size["x"] = "0";
  size["y"] = "0";
  properties["defaultPosition"] = size;
  properties["currentPosition"] = size;
}

}  // namespace

std::future<bool> MraidBridgePropertiesController::Initialize() {
  return MakeReadyFuture(true);
}

Json MraidBridgePropertiesController::GetBridgeProperties(const std::string& placementType, bool incentivized) {
  try {
    TextMap values = {
        {"os", "windows"},
        {"osVersion", "Win10"},
        {"version", "1.0"},
        {"isViewable", "true"},
        {"enableBackImmediately", "false"},
        {"placementType", placementType},
        {"incentivized", Flag(incentivized)},
    };
    if (auto gdpr = ControllerRegistry::GetGdprController()) {
      values["consentRequired"] = Flag(gdpr->IsConsentRequired());
      values["consentTitleText"] = gdpr->GetConsentTitleText();
      values["consentBodyText"] = gdpr->GetConsentBodyText();
      values["consentAcceptButtonText"] = gdpr->GetConsentAcceptButtonText();
      values["consentDenyButtonText"] = gdpr->GetConsentDenyButtonText();
      gdpr->StartConsentTimeoutWatch();
    }
    Json properties = values;
    if (auto device = ControllerRegistry::GetDeviceInfoController()) {
      SetSizes(properties, device->GetDefaultScreenWidth(), device->GetDefaultScreenHeight());
    } else {
      for (const char* key : {"maxSize", "screenSize", "defaultPosition", "currentPosition"}) properties[key] = nullptr;
    }
    properties["supports"] = TextMap{
        {"inlineVideo", "false"}, {"sms", "false"}, {"storePicture", "false"}, {"calendar", "false"}, {"tel", "false"}};
    return properties;
  } catch (const std::exception& e) {
    LogException(e);
  } catch (...) {
    LogError("Unknown exception in GetBridgeProperties");
  }
  return Json::object();
}

Json MraidBridgePropertiesController::BuildSizeUpdate(std::int32_t width, std::int32_t height) {
  Json update = Json::object();
  SetSizes(update, width, height);
  return update;
}

}  // namespace kestrel
