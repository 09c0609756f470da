#include <string_view>

#include "app/frm_main.h"

namespace ruvello {

void frmMain::Form_MouseMove(std::int32_t trayCode) {
    if (trayCode == kTrayRightButtonUp) {
        Guarded(Handler::Command, [&] { platform_.windows.PopupMenu(menu); });
    } else if (trayCode == kTrayLeftButtonUp) {
        TakeManualShot();
    }
}

// One click event per item, one per control array (given the element's index).
void frmMain::MenuClick(const MenuItem& item) {
    struct Switch {
        std::string_view name;
        void (frmMain::*click)();
    };
    struct Array {
        std::string_view name;
        void (frmMain::*click)(std::int16_t);
    };
    static constexpr Switch kItems[] = {
        {"mnuFlash", &frmMain::mnuFlash_Click},     {"mnuUseCount", &frmMain::mnuUseCount_Click},
        {"mnuUseSize", &frmMain::mnuUseSize_Click}, {"mnuAutostart", &frmMain::mnuAutostart_Click},
        {"mnuExit", &frmMain::mnuExit_Click},
    };
    static constexpr Array kArrays[] = {
        {"mnuCount", &frmMain::mnuCount_Click},
        {"mnuSize", &frmMain::mnuSize_Click},
        {"mnuIntervalItem", &frmMain::mnuIntervalItem_Click},
    };
    Guarded(Handler::Command, [&] {
        for (const Switch& entry : kItems) {
            if (item.index == MenuItem::kNoIndex && item.name == entry.name) {
                (this->*entry.click)();
            }
        }
        for (const Array& entry : kArrays) {
            if (item.index != MenuItem::kNoIndex && item.name == entry.name) {
                (this->*entry.click)(static_cast<std::int16_t>(item.index));
            }
        }
    });
}

namespace {

void Invert(bool& setting, MenuTree& menu, const char* itemName) {
    setting = !setting;
    menu.SetChecked(menu.Item(itemName), setting);
}

}  // namespace

void frmMain::mnuFlash_Click() {
    Invert(AppSettings.ShowFlash, menu, "mnuFlash");
    SaveSettings();
}

void frmMain::mnuUseCount_Click() {
    Invert(AppSettings.UseMaxCount, menu, "mnuUseCount");
    SaveSettings();
}

void frmMain::mnuUseSize_Click() {
    Invert(AppSettings.UseMaxSize, menu, "mnuUseSize");
    SaveSettings();
}

void frmMain::mnuCount_Click(std::int16_t index) {
    AppSettings.MaxImageCount = countChoices.at(static_cast<std::size_t>(index));
    CheckOnly("mnuCount", countChoices, AppSettings.MaxImageCount);
    SaveSettings();
    EnforceLimits();
    RefreshStatus();
}

void frmMain::mnuSize_Click(std::int16_t index) {
    AppSettings.MaxTotalSizeMB = sizeChoices.at(static_cast<std::size_t>(index));
    CheckOnly("mnuSize", sizeChoices, AppSettings.MaxTotalSizeMB);
    SaveSettings();
    EnforceLimits();
    RefreshStatus();
}

void frmMain::mnuIntervalItem_Click(std::int16_t index) {
    AppSettings.IntervalSeconds = intervalChoices.at(static_cast<std::size_t>(index));
    platform_.tmrShot.SetInterval(500);
    RestartShotSchedule();
    CheckOnly("mnuIntervalItem", intervalChoices, AppSettings.IntervalSeconds);
    SaveSettings();
}

void frmMain::mnuExit_Click() {
    platform_.windows.UnloadMainWindow();
}

}  // namespace ruvello
