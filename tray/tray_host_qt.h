#pragma once

#include <QIcon>
#include <QSystemTrayIcon>

#include <functional>
#include <string>

#include "tray/tray_host.h"

namespace ruvello {

// Icon handles as the Qt desktop hands them out.
inline constexpr IconHandle kProgramIcon = 1;
inline constexpr IconHandle kDefaultAppIcon = 2;

// The notification-area icon on QSystemTrayIcon: an XEmbed tray or a StatusNotifier host. The
// menu is the icon's context menu, which the host opens on the right button (or asks the
// program to open); a left click is reported as the released left button.
class QtTrayHost : public TrayHost {
  public:
    QtTrayHost(QIcon programIcon, QMenu* contextMenu,
               std::function<void(std::int32_t)> onTrayEvent);

    void AttachContextMenu(QMenu* menu) { icon_.setContextMenu(menu); }
    // Calls `tell` with a German text a few seconds after start-up when no tray host shows the
    // icon (plain GNOME): the program records all the same, but the user cannot reach it.
    void WhenNoTrayHost(std::function<void(const std::string&)> tell);

    // What QSystemTrayIcon reports of a click on the icon.
    void Activated(QSystemTrayIcon::ActivationReason reason);

    void NotifyIcon(TrayMessage message, const TrayIconData& data) override;
    IconHandle DefaultAppIcon() override { return kDefaultAppIcon; }
    void DestroyIcon(IconHandle) override {}  // Qt owns its icons

  private:
    void ContextMenuAsked();
    QIcon IconFor(IconHandle handle);

    QIcon programIcon_;
    std::function<void(std::int32_t)> onTrayEvent_;
    QIcon defaultIcon_;  // looked up in the style once: the look-up walks the icon theme
    QSystemTrayIcon icon_;
    IconHandle shownIcon_ = 0;
    QString shownTip_;
};

}  // namespace ruvello
