#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/platform_services.h"
#include "autostart/bas_autostart.h"
#include "flash/bas_flash.h"
#include "retention/folder_stats.h"
#include "settings/app_settings.h"
#include "settings/bas_ini.h"
#include "tray/bas_tray.h"
#include "tray/menu_model.h"

namespace ruvello {

// Tray callback codes: the mouse event that happened over the icon.
inline constexpr std::int32_t kTrayLeftButtonUp = 0x202;
inline constexpr std::int32_t kTrayRightButtonUp = 0x205;

// The hidden main window: the owner of all of the program's state, and its event handlers.
class frmMain {
  public:
    explicit frmMain(const PlatformServices& platform);
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Start-up, scheduler and shutdown.
    void Form_Load();
    void tmrShot_Timer();
    void Form_Unload();
    void RestartShotSchedule();
    std::string GetAppVersion(bool withLabel) const;

    // Automatic screenshot.
    void TakeAutoShot();
    std::string FormatShotTimestamp();

    // Settings.
    void LoadSettings();
    void SaveSettings();

    // Retention.
    void GetFolderStats(std::int32_t& imageCount, double& sizeMB);
    void EnforceLimits();

    // Tray status and menu.
    std::string BuildTooltip();
    void RefreshStatus();
    void BuildTrayMenu();

    // Tray events and menu commands.
    void Form_MouseMove(std::int32_t trayCode);
    void mnuFlash_Click();
    void mnuUseCount_Click();
    void mnuUseSize_Click();
    void mnuCount_Click(std::int16_t index);
    void mnuSize_Click(std::int16_t index);
    void mnuIntervalItem_Click(std::int16_t index);
    void mnuExit_Click();
    void mnuAutostart_Click();

    // Manual screenshot.
    void TakeManualShot() noexcept;
    // The folder of the manual screenshots, ending in a separator.
    std::string ManualShotFolder() const;

    // For the tray backend: the tray host came (back), so the icon is added once more.
    void TrayHostRestarted();
    // For the tray backend: the size the tray shows icons at may have changed (another DPI), so
    // the program's icon is loaded again.
    void TrayIconSizeChanged();

    ruvello::AppSettings AppSettings;
    std::uint32_t nextShotTick = 0;
    std::string appTitle;
    std::string sizeWord;
    std::vector<std::int16_t> countChoices;
    std::vector<std::int16_t> sizeChoices;
    std::vector<std::string> intervalCaptions;
    std::vector<std::int32_t> intervalChoices;
    MenuTree menu;

    basINI& ini() { return basINI_; }
    basTray& tray() { return basTray_; }
    basAutostart& autostart() { return basAutostart_; }

  private:
    enum class State { Starting, Running, Stopped };
    enum class Handler { Tick, Command };

    // An event handler's failure is caught here and never ends the program: a tick stays silent
    // (the next one tries again), a command the user chose says that it failed.
    template <class Body>
    void Guarded(Handler handler, Body&& body) noexcept;
    void ReportCommandFailure(const std::exception& failure) noexcept;
    void MenuClick(const MenuItem& item);
    void RemoveLeftoverTemporaries() noexcept;
    std::uint32_t IntervalMilliseconds() const;
    std::string BooleanText(bool value);
    template <class Choice>
    void CheckOnly(const char* itemName, const std::vector<Choice>& choices, std::int32_t setting);

    PlatformServices platform_;
    basINI basINI_;
    basTray basTray_;
    basFlash basFlash_;
    basAutostart basAutostart_;
    State state_ = State::Starting;
    // What EnforceLimits left, for the status refresh that follows it at once: a large folder
    // is then read once per screenshot, not twice. Taken by the next GetFolderStats.
    std::optional<FolderStats> leftByLimits_;
};

template <class Body>
void frmMain::Guarded(Handler handler, Body&& body) noexcept {
    try {
        body();
    } catch (const std::exception& failure) {
        if (handler == Handler::Command) {
            ReportCommandFailure(failure);
        }
    } catch (...) {
    }
}

}  // namespace ruvello
