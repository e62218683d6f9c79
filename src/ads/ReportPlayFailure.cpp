#include "ads/ReportPlayFailure.h"

#include "base/Guarded.h"

namespace kestrel {

void ReportPlayFailure(KestrelAdPlayInfo& info, const std::string& placementId, const std::string& message,
                       const std::string& eventId, std::exception_ptr error) {
  info.Success = false;
  info.Message = message;
  if (!info.OnAdPlayFailure) return;
  RunLogged("Unknown exception in a play failure handler",
            [&] { info.OnAdPlayFailure(AdPlayEventArgs{placementId, message, eventId, std::move(error)}); });
}

}  // namespace kestrel
