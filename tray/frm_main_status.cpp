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

// The captions and the tooltip come from one reading of the folder: nothing can change it in
// between on the one thread, and a large folder is read once per refresh, not twice.
void frmMain::RefreshStatus() {
    std::int32_t imageCount = 0;
    double sizeMB = 0;
    GetFolderStats(imageCount, sizeMB);
    const std::string megabytes = FormatMegabytes(sizeMB, platform_.locale.DecimalSeparator());
    menu.SetCaption(menu.Item("mnuInfoCount"), CountCaption(imageCount));
    menu.SetCaption(menu.Item("mnuInfoSize"), SizeCaption(sizeWord, megabytes));
    basTray_.TraySetTip(TooltipText(appTitle, sizeWord, imageCount, megabytes));
}

}  // namespace ruvello
