#pragma once

#include <string>
#include <vector>

#include "kestrel/KestrelAds.h"

namespace kestrel::test {

// Records every diagnostic event while it lives. One capture at a time.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<DiagnosticLogEvent> Events() const;
  std::vector<std::string> Messages() const;
  // Number of events with exactly this message (and level, when given).
  int Count(const std::string& message) const;
  int Count(const std::string& message, LogLevel level) const;
  int CountStartingWith(const std::string& prefix) const;
  bool Has(const std::string& message, LogLevel level) const { return Count(message, level) > 0; }
  void Clear();
};

}  // namespace kestrel::test
