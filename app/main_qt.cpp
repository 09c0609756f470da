#include <QApplication>
#include <QIcon>

#include "app/frm_main.h"
#include "autostart/autostart_host_posix.h"
#include "capture/screen_capture_x11.h"
#include "capture/session_aware_capture.h"
#include "flash/flash_window_qt.h"
#include "platform/clock_posix.h"
#include "platform/file_system_posix.h"
#include "platform/locale_info_qt.h"
#include "platform/quit_signals_posix.h"
#include "platform/session_state_qt.h"
#include "platform/shot_timer_qt.h"
#include "platform/user_folders_xdg.h"
#include "platform/window_system_qt.h"
#include "settings/ini_file_store.h"
#include "tray/tray_host_qt.h"
#include "tray/tray_menu_qt.h"

using namespace ruvello;

int main(int argc, char** argv) {
    // The screen grab speaks X11; under a Wayland session the program runs on XWayland.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ruvello"));
    QApplication::setQuitOnLastWindowClosed(false);  // message boxes close, the program stays
    const QIcon programIcon(QStringLiteral(":/ruvello-64.png"));
    QApplication::setWindowIcon(programIcon);

    frmMain* form = nullptr;
    auto unload = [&form] {
        form->Form_Unload();
        QCoreApplication::quit();
    };
    PosixFileSystem fileSystem;
    IniFileStore profileStore(fileSystem);
    PosixClock clock;
    QtLocaleInfo locale;
    X11ScreenCapture screen;
    QtSessionState session;
    SessionAwareCapture sessionAwareScreen(screen, session);
    QtWindowSystem windows([&screen] { return screen.RootRect(); }, unload);
    QtShotTimer tmrShot([&form] { form->tmrShot_Timer(); });
    QtFlashWindow frmFlash;
    PosixAutostartHost autostart;
    XdgUserFolders userFolders;
    QtTrayHost tray(programIcon, nullptr,
                    [&form](std::int32_t code) { form->Form_MouseMove(code); });

    const PlatformServices platform{
        kLinuxConventions, fileSystem,         profileStore, clock,    locale,    windows,
        tmrShot,           sessionAwareScreen, tray,         frmFlash, autostart, &userFolders};
    frmMain main(platform);
    form = &main;
    QtTrayMenu menu(main.menu);
    windows.AttachMenu(&menu);
    tray.AttachContextMenu(menu.Root());
    // A signal (a logout, Ctrl+C) ends the program whatever waits for the user meanwhile.
    OnQuitSignal([&] {
        windows.EndInteraction();
        unload();
    });

    main.Form_Load();
    // A signal during start-up (its message box) came before the event loop: quit had no loop
    // to end yet.
    const int result = windows.Ending() ? 0 : QApplication::exec();
    main.Form_Unload();
    return result;
}
