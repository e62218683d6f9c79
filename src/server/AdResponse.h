#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/ResponseBase.h"

namespace kestrel {

class AdMarkupModel;

// The /ads answer (or a bid's ad unit) as the SDK uses it.
class AdResponse : public ResponseBase {
 public:
  AdResponse();
  AdResponse(const AdResponse&) = default;
  AdResponse& operator=(const AdResponse&) = default;

  // Fills every field from the model and logs the parsed ad. Throws the JSON
  // library's errors for a markup that lacks a required part.
  void ParseAdMarkup(const AdMarkupModel& model);

  // The replacement set of the creative's template: the normal replacements,
  // "templateURL", then the cacheable replacements, each later one winning.
  std::unordered_map<std::string, std::string> GetTemplateReplacements() const;

  std::string m_eventId;
  std::string m_callToActionDest;
  std::string m_callToActionUrl;
  std::string m_templateUrl;
  std::string m_creativeId;
  std::string m_campaignId;
  std::string m_bidToken;
  std::int32_t m_timestampDelivered = 0;  // seconds since 1970 UTC
  std::string m_adType;
  std::unordered_map<std::string, std::string> m_normalReplacements;
  std::unordered_map<std::string, std::string> m_cacheableReplacements;  // name to URL
  std::unordered_map<std::string, std::vector<std::string>> m_tpats;      // event name to URLs
  std::int64_t m_expiry = 0;                                              // 100 ns ticks since 1970
  std::string m_templateType;
};

}  // namespace kestrel
