#include "app/frm_main.h"
#include "retention/enforce_limits.h"
#include "retention/folder_stats.h"

namespace ruvello {

void frmMain::GetFolderStats(std::int32_t& imageCount, double& sizeMB) {
    const FolderStats stats =
        leftByLimits_ ? *leftByLimits_
                      : ruvello::GetFolderStats(platform_.fileSystem, AppSettings.ScreenshotFolder);
    leftByLimits_.reset();
    imageCount = stats.imageCount;
    sizeMB = stats.sizeMB;
}

// Every caller refreshes the status right after, with nothing in between that could change the
// folder on this thread.
void frmMain::EnforceLimits() {
    leftByLimits_.reset();
    leftByLimits_ = ruvello::EnforceLimits(platform_.fileSystem, AppSettings);
}

}  // namespace ruvello
