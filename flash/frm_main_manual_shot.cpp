#include "app/frm_main.h"
#include "app/shot_path.h"
#include "platform/failure.h"
#include "platform/path.h"

namespace ruvello {

std::string frmMain::ManualShotFolder() const {
    const Conventions& conventions = platform_.conventions;
    return WithTrailingSeparator(AppSettings.ScreenshotFolder, conventions) +
           "manueller Screenshot" + conventions.separator;
}

// Every step carries on past a failure; nothing is reported and the limits are not applied.
void frmMain::TakeManualShot() noexcept {
    std::string folder;
    CarryOn([&] { folder = ManualShotFolder(); });
    CarryOn([&] {
        if (!platform_.fileSystem.Exists(folder, SearchFilter::OrdinaryFilesAndFolders)) {
            platform_.fileSystem.MakeFolder(folder);
        }
    });
    if (AppSettings.ShowFlash) {
        basFlash_.PlayFlash(kFlashDurationMs);
    }
    bool written = false;
    CarryOn([&] { platform_.screen.BeforeManualShot(); });
    CarryOn([&] {
        const std::string path =
            FreeShotPath(platform_.fileSystem, folder, "ManualShot_" + FormatShotTimestamp());
        written = !path.empty() && platform_.screen.CaptureScreenToPng(path);
    });
    if (written) {
        CarryOn([&] { RefreshStatus(); });
    }
}

}  // namespace ruvello
