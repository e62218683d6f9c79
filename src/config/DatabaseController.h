#pragma once

#include "config/IDatabaseController.h"

namespace kestrel {

class DatabaseController : public IDatabaseController {
 public:
  std::future<bool> Initialize() override;
};

}  // namespace kestrel
