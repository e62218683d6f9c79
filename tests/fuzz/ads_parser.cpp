// An /ads body as a placement takes it: the model, the sleep answer, then the
// parsed ad and its template replacements.
#include <cstdint>
#include <exception>

#include "FuzzSupport.h"
#include "server/AdMarkupModel.h"
#include "server/AdResponse.h"

using kestrel::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::fuzz::SilenceLog();
  try {
    const kestrel::AdMarkupModel model(kestrel::fuzz::Text(data, size));
    if (model.Markup().is_null()) return 0;
    if (model.Int("sleep") >= 1) {
      model.Text("info");
      return 0;
    }
    kestrel::AdResponse ad;
    ad.ParseAdMarkup(model);

    const std::string campaign = model.Text("campaign");
    Require(campaign.rfind(ad.m_campaignId, 0) == 0, "the campaign id is not the start of \"campaign\"");
    Require(ad.m_campaignId.find('|') == std::string::npos && ad.m_creativeId.find('|') == std::string::npos,
            "an id holds the separator");
    Require(ad.m_expiry % 10'000'000 == 0, "the expiry is not whole seconds");

    const auto replacements = ad.GetTemplateReplacements();
    const auto templateUrl = replacements.find("templateURL");
    Require(templateUrl != replacements.end(), "no \"templateURL\" replacement");
    const auto cacheable = ad.m_cacheableReplacements.find("templateURL");
    Require(
        templateUrl->second == (cacheable != ad.m_cacheableReplacements.end() ? cacheable->second : ad.m_templateUrl),
        "the wrong \"templateURL\" replacement won");
    for (const auto& [name, url] : ad.m_cacheableReplacements) {
      const auto found = replacements.find(name);
      Require(found != replacements.end() && found->second == url, "a cacheable replacement lost to a normal one");
    }
  } catch (const std::exception&) {
    // Logged and dropped by the placement: the next load asks again.
  }
  return 0;
}
