#pragma once

#include <ctime>

namespace kestrel {

// The broken-down local time of a moment; safe on any thread.
std::tm ToLocalTime(std::time_t time);

}  // namespace kestrel
