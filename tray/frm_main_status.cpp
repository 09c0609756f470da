#include "app/frm_main.h"
#include "tray/status_text.h"

namespace ruvello {

std::string frmMain::BuildTooltip() {
    std::int32_t imageCount = 0;
    double sizeMB = 0;
    GetFolderStats(imageCount, sizeMB);
    return TooltipText(appTitle, sizeWord, imageCount,
                       FormatMegabytes(sizeMB, platform_.locale.DecimalSeparator()));
}

void frmMain::RefreshStatus() {
    std::int32_t imageCount = 0;
    double sizeMB = 0;
    GetFolderStats(imageCount, sizeMB);
    menu.SetCaption(menu.Item("mnuInfoCount"), CountCaption(imageCount));
    menu.SetCaption(
        menu.Item("mnuInfoSize"),
        SizeCaption(sizeWord, FormatMegabytes(sizeMB, platform_.locale.DecimalSeparator())));
    basTray_.TraySetTip(BuildTooltip());
}

}  // namespace ruvello
