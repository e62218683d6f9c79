#pragma once

#include <chrono>
#include <string>

#include "kestrel/KestrelAds.h"

namespace kestrel {

// Keeps the web engine warm while an ad is ready to play and gives its memory
// back when none is. The engine is released only when no ad is ready and none
// is on screen, and not before kReleaseGrace has passed since the last of
// those ended, so that a play followed by a new load does not stop and start
// it again. A play that finds it released starts it itself. Any thread.
class WebEngineKeeper {
 public:
  static constexpr std::chrono::seconds kReleaseGrace{30};

  // The window and the web view's user data folder, at initialisation.
  static void Configure(WindowHandle window, std::string userDataFolder);
  // Whether any placement has an ad ready to play; true warms the engine.
  static void SetAdReady(bool anyReady);
  // Forgets the configuration and a pending release (SDK state reset); the engine stays as it is.
  static void Reset();

  // An ad's overlay opened or closed (DisplayOverlayAdView, on the window thread).
  static void PlayStarted();
  static void PlayEnded();
  // Another grace, for benchmarks and tests; kReleaseGrace otherwise.
  static void SetReleaseGraceForTesting(std::chrono::milliseconds grace);
};

}  // namespace kestrel
