#pragma once

#include <memory>

#include "platform/IProcessInfo.h"

namespace kestrel {

// The operating-system services the SDK uses, each behind a small interface.
// The platform's implementations are created on first use; tests may replace
// one where the real part cannot run.
class PlatformServices {
 public:
  static std::shared_ptr<IProcessInfo> ProcessInfo();
  static void SetProcessInfo(std::shared_ptr<IProcessInfo> service);  // null restores the platform's
};

}  // namespace kestrel
