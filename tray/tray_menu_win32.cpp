#include "tray/tray_menu_win32.h"

#include <algorithm>
#include <string>

#include "platform/handle_guard_win32.h"
#include "platform/text_win32.h"

namespace ruvello {
namespace {

using MenuHandle = UniqueHandle<HMENU, &DestroyMenu>;

UINT StateOf(const MenuItem& item) {
    return (item.enabled ? MFS_ENABLED : MFS_GRAYED) | (item.checked ? MFS_CHECKED : MFS_UNCHECKED);
}

// An open menu is drawn from what it held when it opened; its windows (class "#32768") of this
// thread are repainted so that a changed item shows.
BOOL CALLBACK RepaintIfMenu(HWND window, LPARAM) {
    wchar_t name[16] = {};
    if (GetClassNameW(window, name, 16) > 0 && lstrcmpW(name, L"#32768") == 0) {
        InvalidateRect(window, nullptr, TRUE);
    }
    return TRUE;
}

// Clears the tree's observer and the open menu on every way out of Show.
class OpenMenu {
  public:
    OpenMenu(MenuTree& tree, HMENU& open, HMENU menu) : tree_(tree), open_(open) { open_ = menu; }
    OpenMenu(const OpenMenu&) = delete;
    OpenMenu& operator=(const OpenMenu&) = delete;
    ~OpenMenu() {
        tree_.SetObserver(nullptr);
        open_ = nullptr;
    }

  private:
    MenuTree& tree_;
    HMENU& open_;
};

}  // namespace

void TrayMenuWin32::Show(HWND owner, MenuTree& tree) {
    if (open_) {
        return;  // one menu at a time; the shell would refuse a second one anyway
    }
    commands_.clear();
    MenuHandle menu(CreatePopupMenu());
    if (!menu) {
        return;
    }
    for (const auto& child : tree.Root().children) {
        Append(menu.get(), *child);
    }
    UINT chosen = 0;
    {
        OpenMenu open(tree, open_, menu.get());
        tree.SetObserver([this](const MenuItem& item) { Follow(item); });
        // Without the foreground the menu would not close when the user clicks elsewhere.
        SetForegroundWindow(owner);
        POINT at{};
        GetCursorPos(&at);
        chosen = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_LEFTBUTTON | TPM_RETURNCMD, at.x,
                                                  at.y, 0, owner, nullptr));
        // Lets the menu close properly when it is opened again right away.
        PostMessageW(owner, WM_NULL, 0, 0);
    }
    menu.reset();
    if (chosen > 0 && chosen <= commands_.size()) {
        const MenuItem* item = commands_[chosen - 1];
        commands_.clear();
        tree.Click(*item);
    }
}

void TrayMenuWin32::Append(HMENU menu, const MenuItem& item) {
    if (!item.visible) {
        return;
    }
    if (item.IsSeparator()) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        return;
    }
    commands_.push_back(&item);
    std::wstring caption = Wide(item.caption);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_ID | MIIM_STATE;
    info.fType = MFT_STRING;
    info.fState = StateOf(item);
    info.wID = static_cast<UINT>(commands_.size());
    info.dwTypeData = caption.data();
    MenuHandle submenu;
    if (item.IsSubmenu()) {
        submenu.reset(CreatePopupMenu());
        if (!submenu) {
            return;
        }
        for (const auto& child : item.children) {
            Append(submenu.get(), *child);
        }
        info.fMask |= MIIM_SUBMENU;
        info.hSubMenu = submenu.get();
    }
    // At the end: the position after the last item (the count is -1 only for no menu at all).
    const int end = GetMenuItemCount(menu);
    if (InsertMenuItemW(menu, static_cast<UINT>(end > 0 ? end : 0), TRUE, &info)) {
        submenu.release();  // destroyed with its parent from now on
    }
}

void TrayMenuWin32::Follow(const MenuItem& item) {
    if (!open_) {
        return;
    }
    const auto found = std::find(commands_.begin(), commands_.end(), &item);
    if (found == commands_.end()) {
        return;
    }
    std::wstring caption = Wide(item.caption);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_STATE;
    info.fState = StateOf(item);
    info.dwTypeData = caption.data();
    if (SetMenuItemInfoW(open_, static_cast<UINT>(found - commands_.begin()) + 1, FALSE, &info)) {
        EnumThreadWindows(GetCurrentThreadId(), RepaintIfMenu, 0);
    }
}

}  // namespace ruvello
