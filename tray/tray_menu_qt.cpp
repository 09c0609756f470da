#include "tray/tray_menu_qt.h"

#include <QCursor>

namespace ruvello {
namespace {

// "&" would mark a keyboard shortcut in a Qt caption.
QString CaptionText(const std::string& caption) {
    return QString::fromStdString(caption).replace('&', QStringLiteral("&&"));
}

}  // namespace

QtTrayMenu::QtTrayMenu(MenuTree& tree) : tree_(tree), root_(std::make_unique<QMenu>()) {
    Fill(*root_, tree_.Root());
    tree_.SetObserver([this](const MenuItem& item) { Update(item); });
}

void QtTrayMenu::Fill(QMenu& menu, const MenuItem& parent) {
    submenus_[&parent] = &menu;
    for (const auto& child : parent.children) {
        const MenuItem* item = child.get();
        QAction* action = nullptr;
        if (item->IsSeparator()) {
            action = menu.addSeparator();
        } else if (item->IsSubmenu()) {
            QMenu* sub = menu.addMenu(CaptionText(item->caption));
            action = sub->menuAction();
            Fill(*sub, *item);
        } else {
            action = menu.addAction(CaptionText(item->caption));
            QObject::connect(action, &QAction::triggered, [this, item] { Chosen(*item); });
        }
        actions_[item] = action;
        Update(*item);
    }
}

void QtTrayMenu::Update(const MenuItem& item) {
    const auto submenu = submenus_.find(&item);
    if (submenu != submenus_.end() &&
        item.children.size() != static_cast<std::size_t>(submenu->second->actions().size())) {
        // Elements were added to a control array: lay the submenu out anew.
        for (const auto& child : item.children) {
            actions_.erase(child.get());
        }
        submenu->second->clear();
        Fill(*submenu->second, item);
    }
    const auto found = actions_.find(&item);
    if (found == actions_.end()) {
        return;
    }
    QAction* action = found->second;
    if (!item.IsSeparator()) {
        action->setText(CaptionText(item.caption));
    }
    action->setEnabled(item.enabled);
    action->setVisible(item.visible);
    // Only a marked item shows a check box, as in a classic Windows menu.
    action->setCheckable(item.checked);
    action->setChecked(item.checked);
}

void QtTrayMenu::Chosen(const MenuItem& item) {
    Update(item);  // undo Qt's own toggle: only the program sets check marks
    tree_.Click(item);
}

void QtTrayMenu::Popup() {
    if (popup_) {
        popup_();
        return;
    }
    root_->exec(QCursor::pos());
}

}  // namespace ruvello
