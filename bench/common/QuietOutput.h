#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>
#include <streambuf>

namespace kestrel::bench {

// The SDK writes a line per event to standard output and its device probes
// write to standard error. While this lives both go to /dev/null and Out()
// writes to the original standard output.
class QuietOutput {
 public:
  QuietOutput() : m_out(&m_buffer) {
    std::fflush(stdout);
    std::fflush(stderr);
    m_buffer.fd = ::dup(STDOUT_FILENO);
    m_savedErr = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      if (m_buffer.fd >= 0) ::dup2(null, STDOUT_FILENO);
      if (m_savedErr >= 0) ::dup2(null, STDERR_FILENO);
      ::close(null);
    }
  }
  ~QuietOutput() {
    m_out.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    if (m_buffer.fd >= 0) {
      ::dup2(m_buffer.fd, STDOUT_FILENO);
      ::close(m_buffer.fd);
    }
    if (m_savedErr >= 0) {
      ::dup2(m_savedErr, STDERR_FILENO);
      ::close(m_savedErr);
    }
  }
  QuietOutput(const QuietOutput&) = delete;
  QuietOutput& operator=(const QuietOutput&) = delete;

  std::ostream& Out() { return m_out; }

 private:
  // Unbuffered writes to a file descriptor.
  struct FdBuffer : std::streambuf {
    int fd = -1;
    int_type overflow(int_type c) override {
      if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
      const char ch = traits_type::to_char_type(c);
      return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* data, std::streamsize size) override {
      std::streamsize done = 0;
      while (done < size) {
        const ssize_t n = ::write(fd, data + done, static_cast<std::size_t>(size - done));
        if (n <= 0) break;
        done += n;
      }
      return done;
    }
  };

  FdBuffer m_buffer;
  std::ostream m_out;
  int m_savedErr = -1;
};

}  // namespace kestrel::bench
