#include "platform/Backend.h"

namespace kestrel {

std::tm ToLocalTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

}  // namespace kestrel
