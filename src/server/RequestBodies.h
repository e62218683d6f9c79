#pragma once

#include <string>

#include "base/Forward.h"

namespace kestrel {

class RequestBase;

// Deep merge: objects of the source are merged member by member into the
// target's (created when absent or null); any other value, arrays included,
// replaces the target's. A source that is not an object changes nothing.
void MergeJson(Json& target, const Json& source);

// Merges the app, device, ext, CCPA, COPPA and GDPR fragments, in this order,
// into the request's body. A missing controller contributes nothing; a
// failing fragment is logged and ends the assembly.
void BuildCommonBody(RequestBase& request);

// {"request": {"header_bidding": flag, "placements": [placementId]}}
Json BuildAdRequestObject(const std::string& placementId, bool headerBidding);

}  // namespace kestrel
