#include "platform/Backend.h"

namespace kestrel {

std::tm ToLocalTime(std::time_t time) {
  std::tm local{};
  if (localtime_s(&local, &time) != 0) return std::tm{};
  return local;
}

}  // namespace kestrel
