#include <QApplication>
#include <QIcon>

#include "app/frm_main.h"
#include "autostart/autostart_host_posix.h"
#include "capture/capture_route.h"
#include "capture/session_aware_capture.h"
#include "flash/flash_window_qt.h"
#include "flash/flash_window_wayland.h"
#include "platform/clock_posix.h"
#include "platform/file_system_posix.h"
#include "platform/locale_info_qt.h"
#include "platform/quit_signals_posix.h"
#include "platform/session_state_qt.h"
#include "platform/shot_timer_qt.h"
#include "platform/user_folders_xdg.h"
#include "platform/window_system_qt.h"
#include "settings/ini_file_store.h"
#include "tray/layer_menu/layer_shell_menu_wayland.h"
#include "tray/tray_host_qt.h"
#include "tray/tray_menu_qt.h"

using namespace ruvello;

int main(int argc, char** argv) {
    // The capture route is chosen once, before Qt starts. In a Wayland session Qt may run on
    // Wayland or XWayland as it likes, the capture goes through the compositor either way;
    // elsewhere Qt stays on X11, where the grab is.
    QtWindowSystem* notices = nullptr;  // set once the windows exist
    CaptureChoice capture = ChooseScreenCapture([&notices](const std::string& text) {
        if (notices) {
            notices->ShowNoticeOnce(text);
        }
    });
    if (!capture.facts.waylandConnected && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
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
    QtSessionState session;
    SessionAwareCapture screen(*capture.capture, session);
    QtWindowSystem windows(capture.virtualScreen, unload);
    notices = &windows;
    QtShotTimer tmrShot([&form] { form->tmrShot_Timer(); });
    std::unique_ptr<FlashWindow> frmFlash;
    if (capture.outputs) {
        frmFlash = std::make_unique<WaylandFlashWindow>(*capture.wayland, *capture.outputs);
    } else {
        frmFlash = std::make_unique<QtFlashWindow>();
    }
    PosixAutostartHost autostart;
    XdgUserFolders userFolders;
    QtTrayHost tray(programIcon, nullptr,
                    [&form](std::int32_t code) { form->Form_MouseMove(code); });

    const PlatformServices platform{kLinuxConventions, fileSystem,  profileStore, clock, locale,
                                    windows,           tmrShot,     screen,       tray,  *frmFlash,
                                    autostart,         &userFolders};
    frmMain main(platform);
    form = &main;
    QtTrayMenu menu(main.menu);
    windows.AttachMenu(&menu);
    tray.AttachContextMenu(menu.Root());
    std::unique_ptr<LayerShellMenu> layerMenu;
    if (capture.outputs && QGuiApplication::platformName() == QStringLiteral("wayland")) {
        layerMenu = std::make_unique<LayerShellMenu>(*capture.wayland, *capture.outputs, main.menu);
        if (layerMenu->Available()) {
            menu.ShowWith([&layerMenu] { layerMenu->Popup(); },
                          [&layerMenu] { layerMenu->Dismiss(); });
        }
    }
    // A signal (a logout, Ctrl+C) ends the program whatever waits for the user meanwhile.
    OnQuitSignal([&] {
        windows.EndInteraction();
        unload();
    });

    main.Form_Load();
    windows.ShowNoticeOnce(RouteNotice(capture.route, capture.facts));
    if (capture.facts.waylandConnected) {
        tray.WhenNoTrayHost([&windows](const std::string& text) { windows.ShowNoticeOnce(text); });
    }
    // A signal during start-up (its message box) came before the event loop: quit had no loop
    // to end yet.
    const int result = windows.Ending() ? 0 : QApplication::exec();
    main.Form_Unload();
    return result;
}
