#include "app/frm_main.h"
#include "platform/failure.h"
#include "platform/path.h"

namespace ruvello {

// Every step carries on past a failure; nothing is reported and the limits are not applied.
void frmMain::TakeManualShot() noexcept {
    const Conventions& conventions = platform_.conventions;
    std::string folder;
    CarryOn([&] {
        folder = WithTrailingSeparator(AppSettings.ScreenshotFolder, conventions) +
                 "manueller Screenshot" + conventions.separator;
    });
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
        written = platform_.screen.CaptureScreenToPng(folder + "ManualShot_" +
                                                      FormatShotTimestamp() + ".png");
    });
    if (written) {
        CarryOn([&] { RefreshStatus(); });
    }
}

}  // namespace ruvello
