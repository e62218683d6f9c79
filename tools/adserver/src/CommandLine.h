#pragma once

#include <string>
#include <vector>

#include "AdServerOptions.h"

namespace kestrel::adserver {

// The flags of kestrel-adserver.
class CommandLine {
 public:
  struct Result {
    AdServerOptions options;
    bool help = false;
    std::string error;  // not empty when the flags are wrong
  };

  static Result Parse(const std::vector<std::string>& args);
  static std::string Help();
};

}  // namespace kestrel::adserver
