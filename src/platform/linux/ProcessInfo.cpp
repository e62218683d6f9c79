#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "platform/Backend.h"
#include "platform/IProcessInfo.h"

namespace kestrel {
namespace {

class LinuxProcessInfo : public IProcessInfo {
 public:
  std::string ExecutablePath() override {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
  }
  unsigned long ProcessId() override { return static_cast<unsigned long>(::getpid()); }
};

}  // namespace

std::unique_ptr<IProcessInfo> CreateProcessInfo() { return std::make_unique<LinuxProcessInfo>(); }

}  // namespace kestrel
