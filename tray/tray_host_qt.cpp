#include "tray/tray_host_qt.h"

#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QTimer>

#include "app/frm_main.h"
#include "tray/bas_tray.h"

namespace ruvello {

QtTrayHost::QtTrayHost(QIcon programIcon, QMenu* contextMenu,
                       std::function<void(std::int32_t)> onTrayEvent)
    : programIcon_(std::move(programIcon)), onTrayEvent_(std::move(onTrayEvent)) {
    icon_.setContextMenu(contextMenu);
    QObject::connect(&icon_, &QSystemTrayIcon::activated, &icon_,
                     [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
}

void QtTrayHost::Activated(QSystemTrayIcon::ActivationReason reason) {
    // The second click of a double click comes as DoubleClick alone; it released the left
    // button over the icon all the same, and takes its own screenshot.
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
        onTrayEvent_(kTrayLeftButtonUp);
    } else if (reason == QSystemTrayIcon::Context) {
        ContextMenuAsked();
    }
}

// An XEmbed tray has Qt open the menu itself before it reports the click; whether it did is
// told now, not later: a quick Escape (or a busy machine) can close that menu before the event
// loop comes round, and it must not open again. A StatusNotifier host that does not draw the
// exported menu (swaybar) asks for it with ContextMenu and waits for the answer: the menu opens
// after the answer has gone, or the host's call would time out.
void QtTrayHost::ContextMenuAsked() {
    const QMenu* menu = icon_.contextMenu();
    if (menu && menu->isVisible()) {
        return;
    }
    QTimer::singleShot(0, &icon_, [this] { onTrayEvent_(kTrayRightButtonUp); });
}

void QtTrayHost::WhenNoTrayHost(std::function<void(const std::string&)> tell) {
    // A tray host that starts with the session may come a little after the program.
    constexpr int kHostWaitMs = 5000;
    QTimer::singleShot(kHostWaitMs, &icon_, [tell = std::move(tell)] {
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            tell(
                "Ruvello nimmt weiter Screenshots auf, aber dieser Desktop zeigt kein Symbol im "
                "Infobereich (System Tray) an. Men\u00fc und manueller Screenshot sind erreichbar, "
                "sobald ein Infobereich f\u00fcr StatusNotifier-Symbole l\u00e4uft: unter GNOME "
                "die Erweiterung \u201eAppIndicator and KStatusNotifierItem Support\u201c (Paket "
                "gnome-shell-extension-appindicator), danach Ruvello neu starten.");
        }
    });
}

QIcon QtTrayHost::IconFor(IconHandle handle) {
    if (handle == kProgramIcon) {
        return programIcon_;
    }
    if (defaultIcon_.isNull()) {
        defaultIcon_ = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
    }
    return defaultIcon_;
}

void QtTrayHost::NotifyIcon(TrayMessage message, const TrayIconData& data) {
    if (message == TrayMessage::Delete) {
        icon_.hide();
        return;
    }
    // Every screenshot modifies the icon; only what changed is handed on, so that the tray host
    // does not redraw the same picture each time.
    if (data.icon != shownIcon_ || icon_.icon().isNull()) {
        icon_.setIcon(IconFor(data.icon));
        shownIcon_ = data.icon;
    }
    const QString tip = QString::fromStdString(TipText(data.tip));
    if (tip != shownTip_) {
        icon_.setToolTip(tip);
        shownTip_ = tip;
    }
    if (message == TrayMessage::Add) {
        icon_.show();
    }
}

}  // namespace ruvello
