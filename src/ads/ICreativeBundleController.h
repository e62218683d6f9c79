#pragma once

#include <cstdint>
#include <future>
#include <string>

#include "base/Forward.h"
#include "base/Statuses.h"

namespace kestrel {

// One ad's files on disk: the template archive and the cacheable downloads in
// one bundle folder under the creatives folder.
class ICreativeBundleController {
 public:
  using enum BundleState;

  virtual ~ICreativeBundleController() = default;
  virtual std::string GetFolderName() = 0;
  // True when every expected part has arrived and the bundle has not failed.
  virtual bool AllPartsDownloaded() = 0;
  virtual void SetState(BundleState state) = 0;
  virtual BundleState GetState() = 0;
  // Removes the bundle folder; false when there is no file system controller.
  virtual std::future<bool> DeleteAsync() = 0;
  virtual std::string GetEventId() = 0;
  virtual std::string GetCreativeId() = 0;
  virtual std::string GetCampaignId() = 0;
  // The ad the bundle was made from.
  virtual const AdResponse& GetAdResponse() const = 0;
};

}  // namespace kestrel
