#include "app/frm_main.h"
#include "retention/enforce_limits.h"
#include "retention/folder_stats.h"

namespace ruvello {

void frmMain::GetFolderStats(std::int32_t& imageCount, double& sizeMB) {
    const FolderStats stats =
        ruvello::GetFolderStats(platform_.fileSystem, AppSettings.ScreenshotFolder);
    imageCount = stats.imageCount;
    sizeMB = stats.sizeMB;
}

void frmMain::EnforceLimits() {
    ruvello::EnforceLimits(platform_.fileSystem, AppSettings);
}

}  // namespace ruvello
