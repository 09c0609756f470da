#pragma once

#include <QMenu>

#include <functional>
#include <memory>
#include <unordered_map>

#include "tray/menu_model.h"

namespace ruvello {

// The tray menu as a QMenu that follows the menu model: every change of an item shows at once,
// also in a menu exported to a StatusNotifier host.
class QtTrayMenu {
  public:
    explicit QtTrayMenu(MenuTree& tree);
    QtTrayMenu(const QtTrayMenu&) = delete;
    QtTrayMenu& operator=(const QtTrayMenu&) = delete;

    QMenu* Root() { return root_.get(); }
    // Shows the menu at the mouse position; returns when it has closed.
    void Popup();
    // Another way to show it, where a QMenu cannot open at the pointer (Qt on Wayland).
    void ShowWith(std::function<void()> popup, std::function<void()> dismiss) {
        popup_ = std::move(popup);
        dismiss_ = std::move(dismiss);
    }
    // Closes the menu shown that other way without a choice (a Qt menu closes as a popup).
    void Dismiss() {
        if (dismiss_) {
            dismiss_();
        }
    }

  private:
    void Fill(QMenu& menu, const MenuItem& parent);
    void Update(const MenuItem& item);
    void Chosen(const MenuItem& item);

    MenuTree& tree_;
    std::unique_ptr<QMenu> root_;
    std::function<void()> popup_;
    std::function<void()> dismiss_;
    std::unordered_map<const MenuItem*, QAction*> actions_;
    std::unordered_map<const MenuItem*, QMenu*> submenus_;
};

}  // namespace ruvello
