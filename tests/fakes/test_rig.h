#pragma once

#include <memory>

#include "app/frm_main.h"
#include "fakes/fake_desktop.h"
#include "settings/ini_file_store.h"

namespace ruvello::testing {

// A whole program on fakes: program folder C:\Tools (or /opt/ruvello), nothing else on disk.
struct TestRig {
    explicit TestRig(const Conventions& c = kWindowsConventions)
        : conventions(c),
          fs(c, c.separator == '\\' ? "C:\\Tools" : "/opt/ruvello"),
          store(fs),
          timer(log),
          windows(log),
          screen(log, fs, clock),
          tray(log),
          flash(log),
          autostart(fs),
          platform{conventions, fs,     store, clock, locale,   windows,
                   timer,       screen, tray,  flash, autostart},
          form(std::make_unique<frmMain>(platform)) {
        fs.AddFolder(ProgramFolder());
        fs.AddFile(ProgramFolder() + c.separator + "ruvello" + std::string(c.exeExtension), 4096);
        windows.onUnload = [this] { form->Form_Unload(); };
    }

    std::string ProgramFolder() { return fs.ProgramFolder(); }
    std::string Dir() { return ProgramFolder() + conventions.separator; }
    std::string IniPath() { return Dir() + "config.ini"; }
    void WriteIni(const std::string& content) { fs.ReplaceWholeFile(IniPath(), content); }
    std::string Ini() { return fs.Content(IniPath()); }
    // Starts the program and forgets what start-up did.
    frmMain& Loaded() {
        form->Form_Load();
        log.clear();
        return *form;
    }

    const Conventions& conventions;
    EventLog log;
    FakeFileSystem fs;
    IniFileStore store;
    FakeClock clock;
    FakeLocale locale;
    FakeTimer timer;
    FakeWindows windows;
    FakeScreen screen;
    FakeTray tray;
    FakeFlash flash;
    FakeAutostartHost autostart;
    PlatformServices platform;
    std::unique_ptr<frmMain> form;
};

}  // namespace ruvello::testing
