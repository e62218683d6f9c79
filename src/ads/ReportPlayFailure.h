#pragma once

#include <exception>
#include <string>

#include "kestrel/KestrelAds.h"

namespace kestrel {

// Marks the play failed with the message and tells the publisher's
// OnAdPlayFailure, when set. What the handler throws is logged, not passed on.
void ReportPlayFailure(KestrelAdPlayInfo& info, const std::string& placementId, const std::string& message,
                       const std::string& eventId, std::exception_ptr error = nullptr);

}  // namespace kestrel
