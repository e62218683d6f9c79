#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>

#include "base/Forward.h"
#include "base/IBaseController.h"

namespace kestrel {

// Fires an ad's tracking URLs.
class ITpatController : public IBaseController {
 public:
  virtual void SendTpat(std::shared_ptr<TpatsModel> model,
                        const std::unordered_map<std::string, std::string>& parameters) = 0;
  virtual std::string ReplaceMacros(const std::string& url) = 0;
  // As ReplaceMacros, with the time `at` in place of the current one; this default ignores it.
  virtual std::string ReplaceMacrosAt(const std::string& url, std::chrono::system_clock::time_point at) {
    static_cast<void>(at);
    return ReplaceMacros(url);
  }
};

}  // namespace kestrel
