// ruvello.exe: the hidden main window, the Windows backends and frmMain on one thread.
#include <windows.h>

#include <exception>

#include "app/frm_main.h"
#include "app/main_window_win32.h"
#include "app/resource_ids_win32.h"
#include "autostart/autostart_host_win32.h"
#include "capture/win32/screen_capture_win32.h"
#include "flash/flash_window_win32.h"
#include "platform/clock_win32.h"
#include "platform/com_win32.h"
#include "platform/file_system_win32.h"
#include "platform/locale_info_win32.h"
#include "platform/shot_timer_win32.h"
#include "platform/text_win32.h"
#include "platform/window_system_win32.h"
#include "settings/profile_store_win32.h"
#include "tray/tray_host_win32.h"

namespace {

int Run(HINSTANCE instance) {
    using namespace ruvello;
    const ComApartment com;  // for the shell link of the autostart entry
    MainWindow window(instance);
    FileSystemWin32 fileSystem;
    ProfileStoreWin32 profileStore;
    ClockWin32 clock;
    LocaleInfoWin32 locale;
    WindowSystemWin32 windows(
        window.Handle(), [&window] { window.Close(); }, instance, MAKEINTRESOURCEW(RUVELLO_ICON));
    ShotTimerWin32 shotTimer(window.Handle(), kShotTimerId);
    ScreenCaptureWin32 screen;
    window.OnSessionChange([&screen](WPARAM code) { screen.SessionChanged(code); });
    TrayHostWin32 trayHost(window.Handle(), kTrayRetryTimerId);
    FlashWindowWin32 flash(instance);
    AutostartHostWin32 autostartHost;
    const PlatformServices platform{
        kWindowsConventions, fileSystem, profileStore, clock, locale,       windows,
        shotTimer,           screen,     trayHost,     flash, autostartHost};
    frmMain form(platform);
    window.Attach(form);
    form.Form_Load();
    return window.RunMessageLoop();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        return Run(instance);
    } catch (const std::exception& failure) {
        MessageBoxW(nullptr, ruvello::Wide(failure.what()).c_str(), L"Ruvello",
                    MB_OK | MB_ICONEXCLAMATION);
    } catch (...) {
    }
    return 1;
}
