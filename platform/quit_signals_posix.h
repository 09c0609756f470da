#pragma once

#include <functional>

namespace ruvello {

// Runs `onQuit` on the UI thread when the process is asked to end (SIGTERM, SIGINT, SIGHUP), so
// that the tray icon is removed as on a regular exit.
void OnQuitSignal(std::function<void()> onQuit);

}  // namespace ruvello
