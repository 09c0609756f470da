#include "tray/tray_host_qt.h"

#include <QApplication>
#include <QStyle>

#include "app/frm_main.h"
#include "tray/bas_tray.h"

namespace ruvello {

QtTrayHost::QtTrayHost(QIcon programIcon, QMenu* contextMenu,
                       std::function<void(std::int32_t)> onTrayEvent)
    : programIcon_(std::move(programIcon)) {
    icon_.setContextMenu(contextMenu);
    QObject::connect(
        &icon_, &QSystemTrayIcon::activated,
        [onTrayEvent = std::move(onTrayEvent)](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) {
                onTrayEvent(kTrayLeftButtonUp);
            }
        });
}

QIcon QtTrayHost::IconFor(IconHandle handle) const {
    if (handle == kProgramIcon) {
        return programIcon_;
    }
    return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
}

void QtTrayHost::NotifyIcon(TrayMessage message, const TrayIconData& data) {
    if (message == TrayMessage::Delete) {
        icon_.hide();
        return;
    }
    icon_.setIcon(IconFor(data.icon));
    icon_.setToolTip(QString::fromStdString(TipText(data.tip)));
    if (message == TrayMessage::Add) {
        icon_.show();
    }
}

}  // namespace ruvello
