#include "FaultPlan.h"

namespace kestrel::adserver {

void FaultPlan::Set(const Fault& fault) {
  std::lock_guard lock(m_mutex);
  if (fault.mode == FaultMode::None) {
    m_faults.erase(fault.route);
  } else {
    m_faults[fault.route] = fault;
  }
}

std::optional<Fault> FaultPlan::Take(FaultRoute route) {
  std::lock_guard lock(m_mutex);
  const auto it = m_faults.find(route);
  if (it == m_faults.end()) {
    return std::nullopt;
  }
  Fault fault = it->second;
  if (it->second.count > 0 && --it->second.count == 0) {
    m_faults.erase(it);
  }
  return fault;
}

void FaultPlan::Clear() {
  std::lock_guard lock(m_mutex);
  m_faults.clear();
}

nlohmann::json FaultPlan::ToJson() const {
  std::lock_guard lock(m_mutex);
  auto json = nlohmann::json::array();
  for (const auto& [route, fault] : m_faults) {
    json.push_back(fault.ToJson());
  }
  return json;
}

}  // namespace kestrel::adserver
