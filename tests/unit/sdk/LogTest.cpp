#include "support/TestPrelude.h"

#include "base/Log.h"

namespace kestrel {
namespace {

std::atomic<int> g_calls{0};
void CountingListener(DiagnosticLogEvent) { ++g_calls; }
void ThrowingListener(DiagnosticLogEvent) { throw std::runtime_error("listener broke"); }
void ReentrantListener(DiagnosticLogEvent event) {
  if (event.Message != "outer") return;
  AddDiagnosticListener(CountingListener);
  LogInfo("inner");
  RemoveDiagnosticListener(CountingListener);
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { g_calls = 0; }
  void TearDown() override {
    for (auto* listener : {CountingListener, ThrowingListener, ReentrantListener}) RemoveDiagnosticListener(listener);
  }
};

TEST_F(LogTest, WritesOneLinePerEventInTheFixedFormat) {
  ::testing::internal::CaptureStdout();
  LogInfo("hello");
  Log("odd", static_cast<LogLevel>(7), nullptr, "Sender");
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Message: hello, Level: Info, SenderType: \n"
            "Message: odd, Level: Unknown, SenderType: Sender\n");
  DiagnosticLogEvent event{"m", std::make_exception_ptr(std::runtime_error("boom")), LogLevel::Error, ""};
  EXPECT_EQ(FormatLogLine(event), "Message: m, Level: Error, SenderType: , Exception: boom");
}

TEST_F(LogTest, AThrowingListenerStopsNoOtherAndAListenerMayLogAgain) {
  AddDiagnosticListener(ThrowingListener);
  AddDiagnosticListener(CountingListener);
  ::testing::internal::CaptureStderr();
  LogInfo("event");
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("listener broke"), std::string::npos);
  EXPECT_EQ(g_calls, 1);
  RemoveDiagnosticListener(ThrowingListener);
  RemoveDiagnosticListener(CountingListener);

  AddDiagnosticListener(ReentrantListener);
  LogInfo("outer");  // would deadlock if dispatch held the listeners' lock
  EXPECT_EQ(g_calls, 2);  // the inner event reached the listener added during dispatch
}

TEST_F(LogTest, ConcurrentLoggingAndRegistration) {
  test::LogCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) {
        LogInfo("t" + std::to_string(t));
        if (i % 10 == 0) {
          AddDiagnosticListener(CountingListener);
          RemoveDiagnosticListener(CountingListener);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(capture.Count("t" + std::to_string(t)), 200);
}

// What reaches the console and the listeners under each log option; WriteLine
// stands for the lines that bypass the log (device probes, "Extracted: ...").
TEST_F(LogTest, MinimumLevelAndConsoleSwitch) {
  struct Row {
    LogLevel minimum;
    bool console;
    LogLevel level;
    bool shown;  // on standard output
    bool heard;  // by a listener
  };
  const Row rows[] = {
      {LogLevel::Trace, true, LogLevel::Debug, true, true},  // the defaults let everything through
      {LogLevel::Warn, true, LogLevel::Info, false, false},
      {LogLevel::Warn, true, LogLevel::Warn, true, true},
      {LogLevel::Trace, false, LogLevel::Error, false, true},
  };
  for (const auto& row : rows) {
    SetLogOutput(row.minimum, row.console);
    test::LogCapture capture;
    ::testing::internal::CaptureStdout();
    Log("event", row.level, nullptr, {});
    WriteLine(stdout, "Extracted: a.png");
    const std::string out = ::testing::internal::GetCapturedStdout();
    SetLogOutput(LogLevel::Trace, true);
    EXPECT_EQ(out.find("Message: event") != std::string::npos, row.shown) << LogLevelName(row.level);
    EXPECT_EQ(out.find("Extracted: a.png") != std::string::npos, row.console);
    EXPECT_EQ(capture.Count("event"), row.heard ? 1 : 0) << LogLevelName(row.level);
  }
}

TEST_F(LogTest, InitializeAsyncTakesTheLogOptions) {
  KestrelSdkConfig config;  // no base URL: initialisation logs "Initializing Win32" and fails at Error
  config.MinimumLogLevel = LogLevel::Error;
  config.LogToConsole = false;
  test::LogCapture capture;
  ::testing::internal::CaptureStdout();
  KestrelAds::InitializeAsync("app", config, nullptr, {}).get();
  const std::string out = ::testing::internal::GetCapturedStdout();
  SetLogOutput(LogLevel::Trace, true);
  EXPECT_EQ(out, "");
  EXPECT_EQ(capture.CountStartingWith("Initializing"), 0);
  EXPECT_GT(capture.Events().size(), 0u);
}

}  // namespace
}  // namespace kestrel
