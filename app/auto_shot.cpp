#include <cstdio>

#include "app/frm_main.h"
#include "app/shot_path.h"

namespace ruvello {

std::string frmMain::FormatShotTimestamp() {
    const LocalDateTime t = platform_.clock.LocalNow();
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return stamp;
}

void frmMain::TakeAutoShot() {
    const std::string path = FreeShotPath(platform_.fileSystem, AppSettings.ScreenshotFolder,
                                          "Screenshot_" + FormatShotTimestamp());
    if (!path.empty() && platform_.screen.CaptureScreenToPng(path)) {
        EnforceLimits();
        RefreshStatus();
    }
}

}  // namespace ruvello
