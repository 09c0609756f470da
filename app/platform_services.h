#pragma once

#include "autostart/autostart_host.h"
#include "capture/screen_capture.h"
#include "flash/flash_window.h"
#include "platform/clock.h"
#include "platform/conventions.h"
#include "platform/file_system.h"
#include "platform/locale_info.h"
#include "platform/user_folders.h"
#include "platform/window_system.h"
#include "settings/profile_store.h"
#include "tray/tray_host.h"

namespace ruvello {

// Everything frmMain needs from the desktop it runs on; each backend provides one of each.
struct PlatformServices {
    const Conventions& conventions;
    FileSystem& fileSystem;
    ProfileStore& profileStore;
    Clock& clock;
    LocaleInfo& locale;
    WindowSystem& windows;
    ShotTimer& tmrShot;
    ScreenCapture& screen;
    TrayHost& trayHost;
    FlashWindow& frmFlash;
    AutostartHost& autostartHost;
    // Where an installed program keeps its files; none (Windows) keeps them beside the program.
    UserFolders* userFolders = nullptr;
};

}  // namespace ruvello
