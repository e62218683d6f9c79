#pragma once

#include <string>

namespace kestrel {

// Identity of the package the host application was installed from.
class IPackageInfo {
 public:
  virtual ~IPackageInfo() = default;
  // The package's name; empty when the application runs unpackaged.
  virtual std::string PackageName() = 0;
  // The package's version, or else the executable file's; empty when neither is known.
  virtual std::string Version() = 0;
};

}  // namespace kestrel
