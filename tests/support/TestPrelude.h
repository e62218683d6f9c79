// The standard headers, the test framework and the helpers that the tests share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/Env.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace kestrel {
namespace fs = std::filesystem;
using test::LogCapture;
using test::ReadFile;
using test::WaitUntil;
}  // namespace kestrel
