#pragma once

#include <windows.h>

#include <vector>

#include "tray/menu_model.h"

namespace ruvello {

// The tray menu as a Windows popup menu, built anew from the model each time it opens. While it
// is open, changes of an item's caption or check mark (a screenshot taken meanwhile) show in it.
class TrayMenuWin32 {
  public:
    // Shows the children of the tree's root at the mouse position for `owner` and returns once
    // the menu has closed, after the chosen item's click has run.
    void Show(HWND owner, MenuTree& tree);

  private:
    void Append(HMENU menu, const MenuItem& item);
    void Follow(const MenuItem& item);

    HMENU open_ = nullptr;
    std::vector<const MenuItem*> commands_;  // command id - 1 -> item
};

}  // namespace ruvello
