#pragma once

namespace kestrel {

// Destroys the hidden window kept for the next play, with the browser in it,
// and any window of a play that is closing now instead of keeping it. On the GTK thread.
void DropSpareOverlayWindow();

}  // namespace kestrel
