#pragma once

#include <memory>

#include "config/PersistentSettingsController.h"
#include "storage/FileSystemModel.h"

namespace kestrel {

// Serves the privacy operations before initialisation: a settings controller
// over the same settings file that the SDK reads once it is initialised.
class PreinitSettings {
 public:
  PreinitSettings();
  IPersistentSettingsController& Settings() { return *m_settings; }

 private:
  FileSystemModel m_fileSystemModel;
  std::unique_ptr<PersistentSettingsController> m_settings;
};

}  // namespace kestrel
