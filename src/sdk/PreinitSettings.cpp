#include "sdk/PreinitSettings.h"

namespace kestrel {

PreinitSettings::PreinitSettings() : m_settings(std::make_unique<PersistentSettingsController>(std::string())) {}

}  // namespace kestrel
