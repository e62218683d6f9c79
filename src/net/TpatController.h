#pragma once

#include "net/ITpatController.h"

namespace kestrel {

class TpatController : public ITpatController {
 public:
  std::future<bool> Initialize() override;
  void SendTpat(std::shared_ptr<TpatsModel> model,
                const std::unordered_map<std::string, std::string>& parameters) override;
  std::string ReplaceMacros(const std::string& url) override;
};

}  // namespace kestrel
