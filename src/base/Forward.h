#pragma once

// Forward declarations of the types that cross controller interfaces.
#include <functional>
#include <memory>

#include <nlohmann/json_fwd.hpp>

#include "kestrel/KestrelAds.h"

namespace kestrel {

class RequestBase;
class ResponseBase;
class ConfigResponse;
class AdResponse;
class TpatsModel;
class DisplayAdController;
class AdmForRealTime;
class IPlacementController;

using Json = nlohmann::json;
using AdLoadHandler = std::function<void(AdLoadEventArgs)>;
using ResponseListener = std::function<void(std::shared_ptr<ResponseBase>)>;

}  // namespace kestrel
