#include <cstdlib>
#include <string>

#include "platform/Backend.h"
#include "platform/IPackageInfo.h"

namespace kestrel {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Flatpak and Snap name the running application in its environment. Neither
// a Flatpak nor an ELF executable carries a version that the process can read.
class LinuxPackageInfo : public IPackageInfo {
 public:
  std::string PackageName() override {
    if (auto flatpak = Variable("FLATPAK_ID"); !flatpak.empty()) return flatpak;
    return Variable("SNAP_NAME");
  }

  std::string Version() override {
    if (!Variable("FLATPAK_ID").empty() || Variable("SNAP_NAME").empty()) return {};
    return Variable("SNAP_VERSION");
  }
};

}  // namespace

std::unique_ptr<IPackageInfo> CreatePackageInfo() {
  return std::make_unique<LinuxPackageInfo>();
}

}  // namespace kestrel
