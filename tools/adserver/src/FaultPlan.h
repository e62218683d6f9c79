#pragma once

#include <map>
#include <mutex>
#include <optional>

#include <nlohmann/json.hpp>

#include "Fault.h"

namespace kestrel::adserver {

// The fault planned for each route; thread-safe.
class FaultPlan {
 public:
  // Replaces the route's fault; a fault of mode None clears it.
  void Set(const Fault& fault);
  // The route's fault for one answer, using up one of its count.
  std::optional<Fault> Take(FaultRoute route);
  void Clear();
  nlohmann::json ToJson() const;

 private:
  mutable std::mutex m_mutex;
  std::map<FaultRoute, Fault> m_faults;
};

}  // namespace kestrel::adserver
