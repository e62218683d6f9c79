#include "net/TpatController.h"

#include <nlohmann/json.hpp>

namespace kestrel {

std::future<bool> TpatController::Initialize() {
  return MakeReadyFuture(true);
}

void TpatController::SendTpat(std::shared_ptr<TpatsModel> /*model*/,
                              const std::unordered_map<std::string, std::string>& /*parameters*/) {}

std::string TpatController::ReplaceMacros(const std::string& /*url*/) {
  return {};
}

}  // namespace kestrel
