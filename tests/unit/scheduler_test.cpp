#include <gtest/gtest.h>

#include "app/shot_schedule.h"
#include "fakes/test_rig.h"

namespace ruvello {
namespace {

using testing::TestRig;

TEST(TickValues, CompareAcrossTheSignedAndUnsignedWrap) {
    EXPECT_TRUE(IsAtOrAfter(5, 5));
    EXPECT_TRUE(IsAtOrAfter(0x80000005u, 0x7FFFFFF0u));
    EXPECT_TRUE(IsAtOrAfter(10u, 0xFFFFFFF0u));
    EXPECT_FALSE(IsAtOrAfter(0xFFFFFFF0u, 10u));
    EXPECT_EQ(NextDueAfter(0xFFFFFFF0u, 0xFFFFFFF0u, 60'000), 60'000u - 16u);
    EXPECT_EQ(NextDueAfter(1000, 1000 + 600'000, 60'000), 1000u + 660'000u);
}

struct Running {
    TestRig rig;
    frmMain& form;
    explicit Running(std::uint32_t startTick = 1000)
        : form((rig.clock.tick = startTick, rig.Loaded())) {}
    // Moves the counter to `tick` and lets the timer fire.
    std::size_t TickAt(std::uint32_t tick) {
        rig.clock.tick = tick;
        const std::size_t before = rig.screen.written.size();
        form.tmrShot_Timer();
        return rig.screen.written.size() - before;
    }
};

TEST(Scheduler, TakesTheFirstShotAtStartUpAndTheNextOneIntervalLater) {
    Running r(1000);
    EXPECT_EQ(r.rig.screen.written,
              std::vector<std::string>{"C:\\Tools\\Screenshot_20240305_140709.png"});
    EXPECT_EQ(r.form.nextShotTick, 61'000u);
    EXPECT_EQ(r.TickAt(60'999), 0u);
    EXPECT_EQ(r.TickAt(61'000), 1u);  // a due time equal to now counts as due
    EXPECT_EQ(r.form.nextShotTick, 121'000u);
}

TEST(Scheduler, SkipsMissedDueTimesWithoutDrifting) {
    Running r(1000);
    EXPECT_EQ(r.TickAt(61'000 + 600'000 + 250), 1u);  // ten minutes without a tick
    EXPECT_EQ(r.form.nextShotTick, 721'000u);
    EXPECT_EQ(r.TickAt(661'750), 0u);
}

TEST(Scheduler, RunsOnAcrossTheCounterPassing2To31And2To32) {
    for (const std::uint32_t start : {0x7FFFFFFFu - 30'000u, 0xFFFFFFFFu - 30'000u}) {
        Running r(start);
        const std::uint32_t due = start + 60'000u;
        EXPECT_EQ(r.TickAt(due - 1), 0u);
        EXPECT_EQ(r.TickAt(due + 200), 1u);
        EXPECT_EQ(r.form.nextShotTick, due + 60'000u);
        EXPECT_EQ(r.TickAt(due + 60'100), 1u);
    }
}

// In the hour that repeats when daylight saving ends, the clock shows every name of the hour
// before once more: those screenshots stay, the new ones go beside them and count like any other.
TEST(AutoShot, NeverReplacesAScreenshotAlreadyThere) {
    TestRig rig;
    rig.fs.AddFile("C:\\Tools\\Screenshot_20240305_140709.png", 100);
    rig.fs.AddFile("C:\\Tools\\Screenshot_20240305_140709_2.png", 100).hidden = true;
    frmMain& form = rig.Loaded();
    form.AppSettings.MaxImageCount = 2;
    rig.clock.now.minute = 8;
    rig.clock.tick += 60'000;
    form.tmrShot_Timer();
    EXPECT_EQ(rig.screen.written,
              (std::vector<std::string>{"C:\\Tools\\Screenshot_20240305_140709_3.png",
                                        "C:\\Tools\\Screenshot_20240305_140809.png"}));
    // The count limit takes the oldest by date, whatever the name: the file of the earlier hour.
    EXPECT_EQ(rig.fs.Find("C:\\Tools\\Screenshot_20240305_140709.png"), nullptr);
    EXPECT_NE(rig.fs.Find("C:\\Tools\\Screenshot_20240305_140709_3.png"), nullptr);
    EXPECT_EQ(form.menu.Item("mnuInfoCount").caption, "Bilder: 2");
}

TEST(Scheduler, KeepsTheScheduleWhenAScreenshotFails) {
    Running r(1000);
    r.rig.screen.fails = true;
    EXPECT_EQ(r.TickAt(61'000), 0u);
    EXPECT_EQ(r.form.nextShotTick, 121'000u);
}

TEST(Scheduler, MovesOnWhenTheRetentionFailsSoFailuresDoNotRepeatEveryTick) {
    Running r(1000);
    r.rig.screen.duringCapture = [&] { r.rig.tray.fails = true; };  // the status refresh fails
    EXPECT_EQ(r.TickAt(61'000), 1u);
    EXPECT_EQ(r.form.nextShotTick, 121'000u);
    EXPECT_TRUE(r.rig.windows.messages.empty());  // a tick stays silent
}

TEST(StartUp, RunsItsStepsInOrder) {
    TestRig rig;
    rig.form->Form_Load();
    const testing::EventLog expected{"gdiplus start",
                                     "tray add",
                                     "tray modify",
                                     "tray modify",
                                     "timer interval 500",
                                     "timer on",
                                     "capture C:\\Tools\\Screenshot_20240305_140709.png",
                                     "tray modify"};
    EXPECT_EQ(rig.log, expected);
    EXPECT_EQ(rig.tray.requests[1].data.icon, 0x77u);
    // Before the first screenshot, each folder the program writes to once.
    EXPECT_EQ(rig.fs.leftoverSweeps,
              (std::vector<std::string>{"C:\\Tools\\", "C:\\Tools\\manueller Screenshot\\"}));
    EXPECT_TRUE(rig.timer.enabled);
    EXPECT_EQ(rig.form->menu.Item("mnuVersion").caption, "Version 1.1.0");
    EXPECT_EQ(rig.form->GetAppVersion(false), "1.1.0");
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST(StartUp, SaysOnceWhenTheScreenshotFolderCannotBeCreatedAndRunsOn) {
    TestRig rig;
    rig.WriteIni("[Settings]\r\nScreenshotFolder=C:\\Missing\\Shots\\\r\n");
    rig.form->Form_Load();
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_NE(rig.windows.messages[0].text.find("C:\\Missing\\Shots\\"), std::string::npos);
    EXPECT_TRUE(rig.timer.enabled);
    EXPECT_EQ(rig.tray.requests.front().message, TrayMessage::Add);
    EXPECT_TRUE(rig.screen.written.empty());
    EXPECT_EQ(rig.fs.leftoverSweeps,
              (std::vector<std::string>{"C:\\Tools\\", "C:\\Missing\\Shots\\",
                                        "C:\\Missing\\Shots\\manueller Screenshot\\"}));
}

TEST(Shutdown, StopsTimerThenTrayThenImageLibraryEvenAfterFailures) {
    TestRig rig;
    rig.Loaded();
    rig.tray.fails = true;
    rig.form->mnuExit_Click();
    const testing::EventLog expected{"unload main window", "timer off", "tray delete",
                                     "gdiplus stop"};
    EXPECT_EQ(rig.log, expected);
    EXPECT_EQ(rig.tray.destroyed, std::vector<IconHandle>{0x77});
    rig.form->Form_Unload();
    rig.form->tmrShot_Timer();
    EXPECT_EQ(rig.log.size(), expected.size());
}

}  // namespace
}  // namespace ruvello
