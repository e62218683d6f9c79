#pragma once

#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include "base/Exception.h"
#include "kestrel/KestrelAds.h"

namespace kestrel {

// The process-wide diagnostic log: every event at or above the minimum level
// becomes one line on standard output (unless the console is off) and is
// handed to every registered listener.
void Log(const std::string& message, LogLevel level, const Exception* exception, const std::string& senderType);
void LogDebug(const std::string& message, const std::string& senderType = {});
void LogInfo(const std::string& message, const std::string& senderType = {});
void LogWarn(const std::string& message, const std::string& senderType = {});
void LogError(const std::string& message, const std::string& senderType = {});
void LogException(const std::exception& e);

// Events below `minimum` are dropped; with `console` false nothing reaches
// standard output or standard error (listeners still hear every event).
void SetLogOutput(LogLevel minimum, bool console);

// Writes the line and its end in one piece and flushes, unless the console is off: every line the SDK prints
// goes through here.
void WriteLine(std::FILE* stream, const std::string& line);

// The text line written for an event, without the line end.
std::string FormatLogLine(const DiagnosticLogEvent& event);
const char* LogLevelName(LogLevel level);

void AddDiagnosticListener(std::function<void(DiagnosticLogEvent)> listener);
void RemoveDiagnosticListener(const std::function<void(DiagnosticLogEvent)>& listener);

}  // namespace kestrel
