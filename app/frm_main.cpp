#include "app/frm_main.h"

#include <algorithm>

#include "app/shot_schedule.h"
#include "app/version.h"
#include "platform/failure.h"

namespace ruvello {

frmMain::frmMain(const PlatformServices& platform)
    : platform_(platform),
      basINI_(platform.conventions, platform.fileSystem, platform.profileStore,
              platform.userFolders),
      basTray_(platform.trayHost),
      basFlash_(platform.frmFlash, platform.windows, platform.clock),
      basAutostart_(platform.conventions, platform.fileSystem, platform.autostartHost,
                    platform.windows) {
    menu.SetClickHandler([this](const MenuItem& item) { MenuClick(item); });
}

// Each step runs even when one before it failed, so that a program that could not prepare
// everything (say, a screenshot folder that cannot be created) still reaches its tray; what
// failed is said once at the end.
void frmMain::Form_Load() {
    std::string problems;
    auto step = [&](auto&& body) {
        try {
            body();
        } catch (const std::exception& failure) {
            problems += std::string("\r\n") + failure.what();
        } catch (...) {
        }
    };
    appTitle = "Ruvello";
    sizeWord = "Größe";
    step([&] { menu.SetCaption(menu.Item("mnuVersion"), GetAppVersion(true)); });
    step([&] { basINI_.EnsureIniDefaults(); });
    step([&] { LoadSettings(); });
    RemoveLeftoverTemporaries();
    step([&] { platform_.screen.GdiPlusStart(); });
    step([&] {
        std::string tip = appTitle;
        CarryOn([&] { tip = BuildTooltip(); });
        basTray_.TrayAdd(platform_.windows.MainWindow(), tip);
    });
    step([&] { basTray_.TraySetIcon(platform_.windows.MainIconCopy()); });
    step([&] { BuildTrayMenu(); });
    step([&] {
        platform_.tmrShot.SetInterval(500);
        RestartShotSchedule();
        platform_.tmrShot.SetEnabled(true);
    });
    state_ = State::Running;
    step([&] { TakeAutoShot(); });
    if (!problems.empty()) {
        CarryOn([&] {
            platform_.windows.ShowMessage(
                appTitle + " konnte beim Start nicht alles vorbereiten:" + problems, appTitle);
        });
    }
}

void frmMain::tmrShot_Timer() {
    Guarded(Handler::Tick, [&] {
        if (state_ != State::Running) {
            return;
        }
        const std::uint32_t now = platform_.clock.TickCount();
        if (!IsAtOrAfter(now, nextShotTick)) {
            return;
        }
        // The due time moves on even when the screenshot failed on the way, so that a failing
        // folder costs one attempt per interval and not one every tick.
        CarryOn([&] { TakeAutoShot(); });
        nextShotTick = NextDueAfter(nextShotTick, now, IntervalMilliseconds());
    });
}

void frmMain::Form_Unload() {
    if (state_ == State::Stopped) {
        return;
    }
    state_ = State::Stopped;
    CarryOn([&] { platform_.tmrShot.SetEnabled(false); });
    CarryOn([&] { basTray_.TrayRemove(); });
    CarryOn([&] { platform_.screen.GdiPlusStop(); });
}

void frmMain::RestartShotSchedule() {
    nextShotTick = platform_.clock.TickCount() + IntervalMilliseconds();
}

std::uint32_t frmMain::IntervalMilliseconds() const {
    const std::int32_t seconds = std::clamp(AppSettings.IntervalSeconds, 1, kMaxIntervalSeconds);
    return static_cast<std::uint32_t>(seconds) * 1000u;
}

std::string frmMain::GetAppVersion(bool withLabel) const {
    const std::string version = std::to_string(kVersionMajor) + "." +
                                std::to_string(kVersionMinor) + "." +
                                std::to_string(kVersionRevision);
    return withLabel ? "Version " + version : version;
}

void frmMain::ReportCommandFailure(const std::exception& failure) noexcept {
    CarryOn([&] {
        platform_.windows.ShowMessage(
            std::string("Der Befehl konnte nicht vollständig ausgeführt werden:\r\n") +
                failure.what(),
            appTitle);
    });
}

// A run that ended while it wrote a screenshot or config.ini left its temporary file; the next
// start takes them away, in every folder the program writes to.
void frmMain::RemoveLeftoverTemporaries() noexcept {
    CarryOn([&] {
        std::vector<std::string> swept;
        for (const std::string& folder :
             {basINI_.GetIniDir(), AppSettings.ScreenshotFolder, ManualShotFolder()}) {
            if (std::find(swept.begin(), swept.end(), folder) == swept.end()) {
                swept.push_back(folder);
                CarryOn([&] { platform_.fileSystem.RemoveLeftoverTemporaries(folder); });
            }
        }
    });
}

void frmMain::TrayHostRestarted() {
    Guarded(Handler::Tick, [&] {
        if (state_ == State::Running) {
            basTray_.TrayReAdd();
        }
    });
}

void frmMain::TrayIconSizeChanged() {
    Guarded(Handler::Tick, [&] {
        if (state_ == State::Running) {
            basTray_.TraySetIcon(platform_.windows.MainIconCopy());
        }
    });
}

}  // namespace ruvello
