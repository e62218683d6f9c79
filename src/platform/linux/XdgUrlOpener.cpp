#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <exception>
#include <system_error>
#include <thread>

#include "base/Log.h"
#include "platform/Backend.h"
#include "platform/IUrlOpener.h"

extern char** environ;

namespace kestrel {
namespace {

// Runs xdg-open with the url as its one argument; no shell sees the url.
void RunXdgOpen(const std::string& url) {
  std::string program = "xdg-open";
  std::string argument = url;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
  if (error != 0) {
    LogError("Could not start xdg-open: " + std::generic_category().message(error));
    return;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

class XdgUrlOpener : public IUrlOpener {
 public:
  void Open(const std::string& url) override {
    try {
      std::thread([url] {
        try {
          RunXdgOpen(url);
        } catch (const std::exception& e) {
          LogException(e);
        }
      }).detach();
    } catch (const std::exception& e) {  // no thread could be started
      LogException(e);
    }
  }

  bool OpensStoreLinks() const override { return false; }
};

}  // namespace

std::unique_ptr<IUrlOpener> CreateUrlOpener() {
  return std::make_unique<XdgUrlOpener>();
}

}  // namespace kestrel
