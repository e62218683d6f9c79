// Prints what the platform services report for this program, one fact a line.
#include <cstdio>
#include <string>

#include "platform/IPackageInfo.h"
#include "platform/IProcessInfo.h"

int main() {
  const std::string path = kestrel::CreateProcessInfo()->ExecutablePath();
  auto package = kestrel::CreatePackageInfo();
  const std::string text =
      "path=" + path + "\npackage=" + package->PackageName() + "\nversion=" + package->Version() + "\n";
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
