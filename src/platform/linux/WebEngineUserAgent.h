#pragma once

#include <string>

namespace kestrel {

// The user agent WebKitGTK sends for the ads. The engine tells it once it has
// started on the GTK thread; before that, its usual form for this machine.
std::string WebEngineUserAgent();

// Called on the GTK thread with what a started engine reports.
void RememberWebEngineUserAgent(const char* userAgent);

}  // namespace kestrel
