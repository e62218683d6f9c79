// The demo's console sections: what the SDK does before initialisation, the
// privacy choices kept across runs, and a windowless tour of initialisation,
// loads and privacy.
#pragma once

#include <string>

namespace kestrel::demo {

class ConsoleDemo {
 public:
  // The ad operations refusing before initialisation, then the privacy
  // choices: each run prints what the run before it stored and stores the
  // other choice.
  static void BeforeInitialisation();

  // Device report, initialisation without a window, loads and privacy
  // choices after initialisation, with what the ad server recorded.
  // Returns the process's exit status.
  static int Tour(const std::string& baseUrl, const std::string& recordFile);
};

}  // namespace kestrel::demo
