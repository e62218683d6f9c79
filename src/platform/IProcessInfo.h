#pragma once

#include <string>

namespace kestrel {

// Facts about the host process.
class IProcessInfo {
 public:
  virtual ~IProcessInfo() = default;
  // Full path of the host executable; empty when it cannot be read.
  virtual std::string ExecutablePath() = 0;
  // The operating system's number for this process.
  virtual unsigned long ProcessId() = 0;
};

}  // namespace kestrel
