#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/Log.h"
#include "support/LogCapture.h"

namespace kestrel {
namespace {

std::atomic<int> g_calls{0};
void CountingListener(DiagnosticLogEvent) {
  ++g_calls;
}
void CountingByRef(const DiagnosticLogEvent&) {
  ++g_calls;
}
void ThrowingListener(DiagnosticLogEvent) {
  throw std::runtime_error("listener broke");
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { g_calls = 0; }
  void TearDown() override {
    RemoveDiagnosticListener(CountingListener);
    RemoveDiagnosticListener(CountingByRef);
    RemoveDiagnosticListener(ThrowingListener);
  }
};

TEST_F(LogTest, WritesOneLinePerEventInTheFixedFormat) {
  ::testing::internal::CaptureStdout();
  LogInfo("hello");
  Log("odd", static_cast<LogLevel>(7), nullptr, "Sender");
  LogWarn("w");
  LogError("e");
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Message: hello, Level: Info, SenderType: \n"
            "Message: odd, Level: Unknown, SenderType: Sender\n"
            "Message: w, Level: Warn, SenderType: \n"
            "Message: e, Level: Error, SenderType: \n");
}

TEST_F(LogTest, LevelNamesAndExceptionSuffix) {
  EXPECT_STREQ(LogLevelName(LogLevel::Trace), "Trace");
  EXPECT_STREQ(LogLevelName(LogLevel::Debug), "Debug");
  EXPECT_STREQ(LogLevelName(LogLevel::Fatal), "Fatal");
  EXPECT_STREQ(LogLevelName(static_cast<LogLevel>(-1)), "Unknown");

  DiagnosticLogEvent event{"m", std::make_exception_ptr(std::runtime_error("boom")), LogLevel::Error, ""};
  EXPECT_EQ(FormatLogLine(event), "Message: m, Level: Error, SenderType: , Exception: boom");
}

TEST_F(LogTest, AttachedExceptionReachesListenersAsACopy) {
  test::LogCapture capture;
  Exception attached("details");
  Log("with exception", LogLevel::Error, &attached, "");
  auto events = capture.Events();
  ASSERT_EQ(events.size(), 1u);
  ASSERT_TRUE(events[0].ExceptionPtr);
  try {
    std::rethrow_exception(events[0].ExceptionPtr);
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "details");
  }
}

TEST_F(LogTest, ExceptionLoggerUsesTheWhatTextAtError) {
  test::LogCapture capture;
  LogException(std::runtime_error("it failed"));
  EXPECT_TRUE(capture.Has("it failed", LogLevel::Error));
}

TEST_F(LogTest, ThrowingListenerDoesNotStopLaterListeners) {
  AddDiagnosticListener(ThrowingListener);
  AddDiagnosticListener(CountingListener);
  ::testing::internal::CaptureStderr();
  LogInfo("event");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(g_calls, 1);
  EXPECT_NE(err.find("listener broke"), std::string::npos);
}

TEST_F(LogTest, SamePlainFunctionTwiceDeliversTwiceAndOneRemovalRemovesBoth) {
  AddDiagnosticListener(CountingListener);
  AddDiagnosticListener(CountingListener);
  AddDiagnosticListener(CountingByRef);
  LogInfo("one");
  EXPECT_EQ(g_calls, 3);

  RemoveDiagnosticListener(CountingListener);
  LogInfo("two");
  EXPECT_EQ(g_calls, 4);  // only the by-reference listener is left

  RemoveDiagnosticListener(CountingByRef);
  LogInfo("three");
  EXPECT_EQ(g_calls, 4);
}

TEST_F(LogTest, LambdaListenersReceiveEventsAndEmptyListenersAreHarmless) {
  std::atomic<int> seen{0};
  AddDiagnosticListener([&seen](DiagnosticLogEvent e) { seen += e.Message == "x"; });
  AddDiagnosticListener(std::function<void(DiagnosticLogEvent)>());
  LogInfo("x");
  EXPECT_EQ(seen, 1);
  // A lambda cannot be singled out; removing one changes nothing.
  RemoveDiagnosticListener([](DiagnosticLogEvent) {});
  LogInfo("x");
  EXPECT_EQ(seen, 2);
}

void ReentrantListener(DiagnosticLogEvent event) {
  if (event.Message != "outer") return;
  AddDiagnosticListener(CountingListener);
  LogInfo("inner");
  RemoveDiagnosticListener(CountingListener);
}

TEST_F(LogTest, ListenerMayLogAndChangeListenersWithoutDeadlock) {
  AddDiagnosticListener(ReentrantListener);
  LogInfo("outer");
  RemoveDiagnosticListener(ReentrantListener);
  EXPECT_EQ(g_calls, 1);  // the inner event reached the listener added during dispatch
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

}  // namespace
}  // namespace kestrel
