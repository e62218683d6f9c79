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

}  // namespace
}  // namespace kestrel
