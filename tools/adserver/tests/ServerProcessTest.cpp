// The kestrel-adserver program as a script or a publisher runs it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "LocalAdServer.h"
#include "TestHttp.h"

namespace kestrel::adserver {
namespace {

using namespace std::chrono_literals;

// The server program started with a pipe on its standard output and error.
class Program {
 public:
  explicit Program(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
      throw std::runtime_error("pipe failed");
    }
    m_pid = fork();
    if (m_pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      close(out[0]);
      close(err[0]);
      std::vector<char*> argv{const_cast<char*>(KESTREL_ADSERVER_EXE)};
      for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
      }
      argv.push_back(nullptr);
      execv(KESTREL_ADSERVER_EXE, argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    m_out = out[0];
    m_err = err[0];
  }

  ~Program() {
    if (m_pid > 0 && !m_status) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    close(m_out);
    close(m_err);
  }

  // The next line of standard output, or nothing when none comes before the deadline.
  std::optional<std::string> ReadLine(std::chrono::milliseconds deadline = 20s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (true) {
      const auto newline = m_buffer.find('\n');
      if (newline != std::string::npos) {
        auto line = m_buffer.substr(0, newline);
        m_buffer.erase(0, newline + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{m_out, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
        return std::nullopt;
      }
      char chunk[4096];
      const auto n = read(m_out, chunk, sizeof chunk);
      if (n <= 0) {
        return std::nullopt;
      }
      m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Standard error up to the program's end or the deadline.
  std::string ReadErrors(std::chrono::milliseconds deadline = 20s) {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + deadline;
    char chunk[4096];
    while (true) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      pollfd p{m_err, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
        return text;
      }
      const auto n = read(m_err, chunk, sizeof chunk);
      if (n <= 0) {
        return text;
      }
      text.append(chunk, static_cast<std::size_t>(n));
    }
  }

  void Signal(int signal) const { kill(m_pid, signal); }

  // The exit code, or nothing when the program has not ended by the deadline.
  std::optional<int> Wait(std::chrono::milliseconds deadline = 20s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!m_status) {
      int status = 0;
      const auto done = waitpid(m_pid, &status, WNOHANG);
      if (done == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (std::chrono::steady_clock::now() >= end) {
        return std::nullopt;
      }
      // Its standard output closes when it ends; wait on that rather than a fixed time.
      pollfd p{m_out, POLLIN, 0};
      poll(&p, 1, 50);
      if (p.revents & (POLLIN | POLLHUP)) {
        char chunk[4096];
        const auto n = read(m_out, chunk, sizeof chunk);
        if (n > 0) {
          m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
      }
    }
    return m_status;
  }

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  int m_err = -1;
  std::string m_buffer;
  std::optional<int> m_status;
};

int PortFrom(const std::string& line) {
  std::smatch match;
  const std::regex listening(R"(kestrel-adserver listening on http://127\.0\.0\.1:(\d+))");
  return std::regex_match(line, match, listening) ? std::stoi(match[1]) : -1;
}

TEST(ServerProcessTest, PrintsItsAddressLogsEachRequestAndStopsOnSigterm) {
  Program program({"--port", "0", "--fault", "ads=status:418,count=1"});
  const auto first = program.ReadLine();
  ASSERT_TRUE(first);
  const int port = PortFrom(*first);
  ASSERT_GT(port, 0) << *first;

  auto client = test::Client(port);
  const auto config = client.Post("/config", "{}", "application/json");
  ASSERT_TRUE(config);
  EXPECT_EQ(test::JsonOf(config)["endpoints"]["ads"], "http://127.0.0.1:" + std::to_string(port) + "/ads");
  EXPECT_EQ(program.ReadLine(), "POST /config 200");

  EXPECT_EQ(client.Post("/ads", test::AdsBody("interstitial"), "application/json")->status, 418);
  EXPECT_EQ(program.ReadLine(), "POST /ads 418 fault=status");
  EXPECT_EQ(client.Get("/tpat/click?ev=x")->status, 200);
  EXPECT_EQ(program.ReadLine(), "GET /tpat/click?ev=x 200");

  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
}

TEST(ServerProcessTest, HelpNamesEveryFlagAndEndpoint) {
  Program program({"--help"});
  std::string help;
  while (const auto line = program.ReadLine()) {
    help += *line + "\n";
  }
  EXPECT_EQ(program.Wait(), 0);
  for (const auto* word : {"--port", "--creative", "--fixtures", "--record", "--fault", "--auto-close", "--countdown",
                           "--quiet", "--help", "/config", "/ads", "/bundles/", "/assets/", "/tpat/", "/hb/markup",
                           "/hb/impression", "/_control/requests", "/_control/reset", "/_control/fault",
                           "/_control/faults", "status:N", "delay:MS", "slow:MS", "close:B", "notjson", "body:FILE",
                           "sleep:S", "wrongtypes", "corrupt", "zipslip", "large:B", "count=N"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

TEST(ServerProcessTest, WrongFlagsAndABusyPortEndWithAnError) {
  {
    Program program({"--port", "many"});
    ASSERT_EQ(program.Wait(), 2);
    EXPECT_NE(program.ReadErrors().find("--port"), std::string::npos);
  }
  {
    Program program({"--fault", "ads=explode"});
    ASSERT_EQ(program.Wait(), 2);
    EXPECT_NE(program.ReadErrors().find("mode"), std::string::npos);
  }
  {
    Program program({"--frobnicate"});
    EXPECT_EQ(program.Wait(), 2);
  }
  LocalAdServer busy;
  busy.Start();
  Program program({"--port", std::to_string(busy.Port())});
  ASSERT_EQ(program.Wait(), 1);
  EXPECT_NE(program.ReadErrors().find("cannot listen"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::adserver
