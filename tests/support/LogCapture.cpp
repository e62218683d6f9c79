#include "support/LogCapture.h"

#include <mutex>

#include "base/Log.h"

namespace kestrel::test {
namespace {

std::mutex g_mutex;
std::vector<DiagnosticLogEvent> g_events;

void Record(DiagnosticLogEvent event) {
  std::lock_guard lock(g_mutex);
  g_events.push_back(std::move(event));
}

}  // namespace

LogCapture::LogCapture() {
  Clear();
  AddDiagnosticListener(Record);
}

LogCapture::~LogCapture() {
  RemoveDiagnosticListener(Record);
}

std::vector<DiagnosticLogEvent> LogCapture::Events() const {
  std::lock_guard lock(g_mutex);
  return g_events;
}

std::vector<std::string> LogCapture::Messages() const {
  std::vector<std::string> messages;
  for (const auto& e : Events()) messages.push_back(e.Message);
  return messages;
}

int LogCapture::Count(const std::string& message) const {
  int n = 0;
  for (const auto& e : Events()) n += e.Message == message;
  return n;
}

int LogCapture::Count(const std::string& message, LogLevel level) const {
  int n = 0;
  for (const auto& e : Events()) n += e.Message == message && e.Level == level;
  return n;
}

int LogCapture::CountStartingWith(const std::string& prefix) const {
  int n = 0;
  for (const auto& e : Events()) n += e.Message.rfind(prefix, 0) == 0;
  return n;
}

void LogCapture::Clear() {
  std::lock_guard lock(g_mutex);
  g_events.clear();
}

}  // namespace kestrel::test
