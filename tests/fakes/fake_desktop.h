#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "autostart/autostart_host.h"
#include "capture/screen_capture.h"
#include "fakes/fake_file_system.h"
#include "flash/flash_window.h"
#include "platform/clock.h"
#include "platform/locale_info.h"
#include "platform/user_folders.h"
#include "platform/window_system.h"
#include "tray/menu_model.h"
#include "tray/tray_host.h"

namespace ruvello::testing {

// Everything the fakes do is appended here, so tests can check the order of effects.
using EventLog = std::vector<std::string>;

class FakeClock : public Clock {
  public:
    std::uint32_t tick = 1000;
    LocalDateTime now{2024, 3, 5, 14, 7, 9};
    double seconds = 100.0;
    double secondsStep = 0.001;  // each reading moves the seconds clock on by this much
    std::function<double(double)> nextSeconds;  // or a script of readings

    std::uint32_t TickCount() override { return tick; }
    LocalDateTime LocalNow() override { return now; }
    double Seconds() override {
        seconds = nextSeconds ? nextSeconds(seconds) : seconds + secondsStep;
        return seconds;
    }
};

class FakeLocale : public LocaleInfo {
  public:
    std::string decimal = ",";
    std::string trueWord = "True";
    std::string falseWord = "False";
    std::string DecimalSeparator() override { return decimal; }
    std::string BooleanWord(bool value) override { return value ? trueWord : falseWord; }
};

class FakeTimer : public ShotTimer {
  public:
    explicit FakeTimer(EventLog& log) : log_(log) {}
    std::int32_t interval = 0;
    bool enabled = false;
    void SetInterval(std::int32_t ms) override {
        interval = ms;
        log_.push_back("timer interval " + std::to_string(ms));
    }
    void SetEnabled(bool on) override {
        enabled = on;
        log_.push_back(on ? "timer on" : "timer off");
    }

  private:
    EventLog& log_;
};

class FakeWindows : public WindowSystem {
  public:
    explicit FakeWindows(EventLog& log) : log_(log) {}
    struct Message {
        std::string text, title;
    };
    ScreenRect screen{-1280, 0, 3200, 1080};
    std::vector<Message> messages;
    std::function<void(MenuTree&)> onPopup;  // the user's choice while the menu is open
    std::function<void()> onDoEvents;        // events that are pending
    std::function<void()> onUnload;
    int doEventsCalls = 0;

    WindowHandle MainWindow() override { return 0x1234; }
    IconHandle nextIcon = 0x77;
    IconHandle MainIconCopy() override { return nextIcon++; }
    ScreenRect VirtualScreen() override { return screen; }
    void PopupMenu(MenuTree& menu) override {
        log_.push_back("popup open");
        if (onPopup) {
            onPopup(menu);
        }
        log_.push_back("popup closed");
    }
    void DoEvents() override {
        ++doEventsCalls;
        if (auto pending = std::exchange(onDoEvents, nullptr)) {
            pending();
        }
    }
    void ShowMessage(const std::string& text, const std::string& title) override {
        messages.push_back({text, title});
        log_.push_back("message " + title);
    }
    void UnloadMainWindow() override {
        log_.push_back("unload main window");
        if (onUnload) {
            onUnload();
        }
    }

  private:
    EventLog& log_;
};

class FakeScreen : public ScreenCapture {
  public:
    FakeScreen(EventLog& log, FakeFileSystem& fs, FakeClock& clock)
        : log_(log), fs_(fs), clock_(clock) {}
    bool fails = false;
    std::int64_t shotSize = 1000;
    std::vector<std::string> written;
    std::function<void()> duringCapture;

    void GdiPlusStart() override { log_.push_back("gdiplus start"); }
    void GdiPlusStop() override { log_.push_back("gdiplus stop"); }
    bool CaptureScreenToPng(const std::string& path) override {
        log_.push_back("capture " + path);
        if (duringCapture) {
            duringCapture();
        }
        if (fails || !fs_.ReplaceWholeFile(path, "PNG")) {
            return false;
        }
        FakeFileSystem::Entry* entry = fs_.Find(path);
        entry->size = shotSize;
        entry->modified = clock_.now;
        written.push_back(path);
        return true;
    }
    void BeforeManualShot() override { log_.push_back("before manual shot"); }

  private:
    EventLog& log_;
    FakeFileSystem& fs_;
    FakeClock& clock_;
};

class FakeTray : public TrayHost {
  public:
    explicit FakeTray(EventLog& log) : log_(log) {}
    struct Request {
        TrayMessage message;
        TrayIconData data;
    };
    std::vector<Request> requests;
    std::vector<IconHandle> destroyed;
    bool fails = false;

    void NotifyIcon(TrayMessage message, const TrayIconData& data) override {
        static const char* const kNames[] = {"tray add", "tray modify", "tray delete"};
        log_.push_back(kNames[static_cast<int>(message)]);
        requests.push_back({message, data});
        if (fails) {
            throw std::runtime_error("no tray");
        }
    }
    IconHandle DefaultAppIcon() override { return 32512; }
    void DestroyIcon(IconHandle icon) override { destroyed.push_back(icon); }

  private:
    EventLog& log_;
};

class FakeFlash : public FlashWindow {
  public:
    explicit FakeFlash(EventLog& log) : log_(log) {}
    bool loaded = false;
    bool shown = false;
    int alphaWhileShown = -1;
    ScreenRect rect;

    bool IsLoaded() override { return loaded; }
    void Load() override {
        loaded = true;
        log_.push_back("flash load");
    }
    void SetTopmost() override { log_.push_back("flash topmost"); }
    void SetAlpha(std::uint8_t alpha) override {
        log_.push_back("flash alpha " + std::to_string(alpha));
        alphaWhileShown = alpha;
    }
    void MoveTo(const ScreenRect& r) override {
        rect = r;
        log_.push_back("flash move");
    }
    void Show() override {
        shown = loaded;
        log_.push_back("flash show");
    }
    void Unload() override {
        if (loaded) {
            log_.push_back("flash unload");
        }
        loaded = shown = false;
    }

  private:
    EventLog& log_;
};

class FakeAutostartHost : public AutostartHost {
  public:
    explicit FakeAutostartHost(FakeFileSystem& fs) : fs_(fs) {}
    std::optional<std::string> lookup = std::string("C:\\Users\\anna\\Startup");
    std::map<std::string, std::string> environment;
    bool saveFails = false;
    std::vector<ShortcutFields> saved;
    std::set<std::string> switchedOff;  // entries noted as not to be started

    std::optional<std::string> StartupFolderLookup() override { return lookup; }
    std::string Environment(const std::string& name) override {
        auto it = environment.find(name);
        return it == environment.end() ? std::string() : it->second;
    }
    void SaveShortcut(const std::string& path, const ShortcutFields& fields) override {
        if (saveFails || !fs_.ReplaceWholeFile(path, "LNK")) {
            throw PlatformError("shortcut", path, PlatformError::Cause::AccessDenied, "");
        }
        saved.push_back(fields);
    }
    bool SwitchedOff(const std::string& path) override { return switchedOff.count(path) > 0; }
    void SwitchOn(const std::string& path) override { switchedOff.erase(path); }

  private:
    FakeFileSystem& fs_;
};

class FakeUserFolders : public UserFolders {
  public:
    std::set<std::string> writable;  // folders as the program asks for them, with a separator
    std::string configHome = "/home/anna/.config/";
    std::string pictures = "/home/anna/Bilder";

    bool CanWriteIn(const std::string& folder) override { return writable.count(folder) > 0; }
    std::string ConfigHome() override { return configHome; }
    std::string PicturesFolder() override { return pictures; }
};

}  // namespace ruvello::testing
