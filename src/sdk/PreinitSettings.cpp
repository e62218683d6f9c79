#include "sdk/PreinitSettings.h"

#include "sdk/ControllerWiring.h"

namespace kestrel {

PreinitSettings::PreinitSettings()
    : m_fileSystemModel(kSdkFolderName),
      m_settings(std::make_unique<PersistentSettingsController>(m_fileSystemModel.SdkFolder())) {}

}  // namespace kestrel
