#include <gtest/gtest.h>

#include <algorithm>

#include "capture/session_aware_capture.h"
#include "fakes/test_rig.h"
#include "platform/platform_error.h"

namespace ruvello {
namespace {

using testing::TestRig;

struct FakeSession : SessionState {
    bool locked = false;
    bool fails = false;
    bool Locked() override {
        if (fails) {
            throw PlatformError("session", "", PlatformError::Cause::Other, "no bus");
        }
        return locked;
    }
};

// The program as it runs: every capture goes through the session check.
struct LockableRig {
    TestRig rig;
    FakeSession session;
    SessionAwareCapture capture{rig.screen, session};
    PlatformServices platform{rig.platform.conventions,
                              rig.fs,
                              rig.store,
                              rig.clock,
                              rig.locale,
                              rig.windows,
                              rig.timer,
                              capture,
                              rig.tray,
                              rig.flash,
                              rig.autostart};
    frmMain form{platform};
};

// Shots of a locked screen would be tiny black files: within MaxImageCount intervals the count
// limit would have replaced the whole history with them.
TEST(SessionLock, KeepsTheHistoryWhileLockedAndGoesOnWhenUnlocked) {
    LockableRig r;
    for (int minute = 0; minute < 3; ++minute) {
        r.rig.fs.AddFile(
            "C:\\Tools\\Screenshot_20240305_13" + std::to_string(10 + minute) + "00.png", 500'000);
    }
    r.rig.WriteIni("[Settings]\r\nMaxImageCount=3\r\n");
    r.session.locked = true;
    r.form.Form_Load();
    for (int interval = 1; interval <= 5; ++interval) {
        r.rig.clock.tick += 60'000;
        r.form.tmrShot_Timer();
    }
    r.form.AppSettings.ShowFlash = false;
    r.form.TakeManualShot();
    EXPECT_TRUE(r.rig.screen.written.empty());
    EXPECT_EQ(r.rig.fs.Search("C:\\Tools\\*.png", SearchFilter::OrdinaryFiles).size(), 3u);

    r.session.locked = false;
    r.rig.clock.tick += 60'000;
    r.form.tmrShot_Timer();
    EXPECT_EQ(r.rig.screen.written.size(), 1u);
    EXPECT_EQ(r.rig.fs.Search("C:\\Tools\\*.png", SearchFilter::OrdinaryFiles).size(), 3u);
}

// A route that stopped capturing asks the user again only on a manual shot; the check in between
// must pass that on.
TEST(SessionLock, PassesAManualShotOnToTheRoute) {
    LockableRig r;
    r.form.Form_Load();
    r.form.AppSettings.ShowFlash = false;
    r.form.TakeManualShot();
    EXPECT_EQ(std::count(r.rig.log.begin(), r.rig.log.end(), "before manual shot"), 1);
}

TEST(SessionLock, ADesktopThatCannotSayCountsAsUnlocked) {
    LockableRig r;
    r.session.fails = true;
    r.form.Form_Load();
    EXPECT_EQ(r.rig.screen.written.size(), 1u);
}

}  // namespace
}  // namespace ruvello
