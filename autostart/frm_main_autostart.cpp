#include "app/frm_main.h"

namespace ruvello {

// Toggles from what is on disk, not from the check mark.
void frmMain::mnuAutostart_Click() {
    const bool wanted = !basAutostart_.IsAutostartEnabled();
    if (basAutostart_.SetAutostart(wanted)) {
        menu.SetChecked(menu.Item("mnuAutostart"), wanted);
    } else {
        platform_.windows.ShowMessage("Autostart konnte nicht geändert werden.", "Autostart");
    }
}

}  // namespace ruvello
