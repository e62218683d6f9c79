#include "base/Log.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

namespace kestrel {
namespace {

using Listener = std::function<void(const DiagnosticLogEvent&)>;

struct ListenerEntry {
  Listener call;
  std::function<void(DiagnosticLogEvent)> original;  // kept to find the plain function on removal
};

// Created on first use and never destroyed, so threads that log while the
// process exits never meet a destroyed registry.
struct ListenerRegistry {
  std::mutex mutex;
  std::vector<ListenerEntry> listeners;
};

ListenerRegistry& Registry() {
  static auto* registry = new ListenerRegistry();
  return *registry;
}

// The address of the plain function a listener wraps, or null for anything else.
const void* PlainFunctionOf(const std::function<void(DiagnosticLogEvent)>& f) {
  if (auto* byValue = f.target<void (*)(DiagnosticLogEvent)>()) return reinterpret_cast<const void*>(*byValue);
  if (auto* byRef = f.target<void (*)(const DiagnosticLogEvent&)>()) return reinterpret_cast<const void*>(*byRef);
  return nullptr;
}

std::atomic<std::int32_t> g_minimumLevel{static_cast<std::int32_t>(LogLevel::Trace)};
std::atomic<bool> g_console{true};

}  // namespace

void SetLogOutput(LogLevel minimum, bool console) {
  g_minimumLevel = static_cast<std::int32_t>(minimum);
  g_console = console;
}

void WriteLine(std::FILE* stream, const std::string& line) {
  if (!g_console) return;
  std::string text = line;
  text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

const char* LogLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Trace: return "Trace";
    case LogLevel::Debug: return "Debug";
    case LogLevel::Info: return "Info";
    case LogLevel::Warn: return "Warn";
    case LogLevel::Error: return "Error";
    case LogLevel::Fatal: return "Fatal";
  }
  return "Unknown";
}

std::string FormatLogLine(const DiagnosticLogEvent& event) {
  std::string line =
      "Message: " + event.Message + ", Level: " + LogLevelName(event.Level) + ", SenderType: " + event.SenderType;
  if (event.ExceptionPtr) {
    try {
      std::rethrow_exception(event.ExceptionPtr);
    } catch (const std::exception& e) {
      line += ", Exception: ";
      line += e.what();
    } catch (const Exception& e) {
      line += ", Exception: " + e.Message();
    } catch (...) {
    }
  }
  return line;
}

void Log(const std::string& message, LogLevel level, const Exception* exception, const std::string& senderType) {
  if (static_cast<std::int32_t>(level) < g_minimumLevel) return;
  try {
    DiagnosticLogEvent event;
    event.Message = message;
    event.Level = level;
    event.SenderType = senderType;
    if (exception) event.ExceptionPtr = std::make_exception_ptr(*exception);
    WriteLine(stdout, FormatLogLine(event));

    std::vector<ListenerEntry> listeners;
    {
      auto& registry = Registry();
      std::lock_guard lock(registry.mutex);
      listeners = registry.listeners;
    }
    for (const auto& listener : listeners) {
      try {
        listener.call(event);
      } catch (const std::exception& e) {
        WriteLine(stderr, e.what());
      } catch (...) {
        WriteLine(stderr, "Unknown exception in diagnostic listener");
      }
    }
  } catch (...) {
    // Logging never fails outward.
  }
}

void LogDebug(const std::string& message, const std::string& senderType) {
  Log(message, LogLevel::Debug, nullptr, senderType);
}

void LogInfo(const std::string& message, const std::string& senderType) {
  Log(message, LogLevel::Info, nullptr, senderType);
}

void LogWarn(const std::string& message, const std::string& senderType) {
  Log(message, LogLevel::Warn, nullptr, senderType);
}

void LogError(const std::string& message, const std::string& senderType) {
  Log(message, LogLevel::Error, nullptr, senderType);
}

void LogException(const std::exception& e) {
  Log(e.what(), LogLevel::Error, nullptr, {});
}

void AddDiagnosticListener(std::function<void(DiagnosticLogEvent)> listener) {
  ListenerEntry entry;
  entry.original = listener;
  entry.call = [f = std::move(listener)](const DiagnosticLogEvent& event) {
    if (f) f(event);
  };
  auto& registry = Registry();
  std::lock_guard lock(registry.mutex);
  registry.listeners.push_back(std::move(entry));
}

void RemoveDiagnosticListener(const std::function<void(DiagnosticLogEvent)>& listener) {
  const void* target = PlainFunctionOf(listener);
  if (!target) return;
  auto& registry = Registry();
  std::lock_guard lock(registry.mutex);
  std::erase_if(registry.listeners,
                [target](const ListenerEntry& entry) { return PlainFunctionOf(entry.original) == target; });
}

}  // namespace kestrel
