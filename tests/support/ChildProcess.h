#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include "support/TestPrelude.h"

namespace kestrel::test {

// Runs fn in a forked child, which may change its environment freely, and
// returns the text fn returned there.
inline std::string InChild(const std::function<std::string()>& fn) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(fds[0]);
    std::string out;
    try {
      out = fn();
    } catch (const std::exception& e) {
      out = std::string("exception: ") + e.what();
    }
    for (std::size_t done = 0; done < out.size();) {
      const ssize_t n = write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string result;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) result.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("child failed");
  return result;
}

}  // namespace kestrel::test
