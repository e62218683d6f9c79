#pragma once

#include <cstdint>
#include <future>
#include <string>

#include "base/Forward.h"

namespace kestrel {

// One ad's files on disk: the template archive and the cacheable downloads in
// one bundle folder under the creatives folder.
class ICreativeBundleController {
 public:
  static constexpr std::int32_t kCreated = 1;
  static constexpr std::int32_t kDownloading = 2;
  static constexpr std::int32_t kPlayed = 4;
  static constexpr std::int32_t kFailed = 5;

  virtual ~ICreativeBundleController() = default;
  virtual std::string GetFolderName() = 0;
  // True when every expected part has arrived and the bundle has not failed.
  virtual bool AllPartsDownloaded() = 0;
  virtual void SetState(std::int32_t state) = 0;
  virtual std::int32_t GetState() = 0;
  // Removes the bundle folder; false when there is no file system controller.
  virtual std::future<bool> DeleteAsync() = 0;
  virtual std::string GetEventId() = 0;
  virtual std::string GetCreativeId() = 0;
  virtual std::string GetCampaignId() = 0;
  // The ad the bundle was made from.
  virtual const AdResponse& GetAdResponse() const = 0;
};

}  // namespace kestrel
