#include <gtest/gtest.h>

#include "fakes/test_rig.h"

namespace ruvello {
namespace {

using testing::TestRig;

const char* const kManualFolder = "C:\\Tools\\manueller Screenshot";
const char* const kManualShot = "C:\\Tools\\manueller Screenshot\\ManualShot_20240305_140709.png";

TEST(ManualShot, FlashesBeforeTheCaptureAndRefreshesAfterIt) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    form.TakeManualShot();
    ASSERT_GE(rig.log.size(), 4u);
    EXPECT_EQ(rig.log.front(), "flash load");
    const auto unload = std::find(rig.log.begin(), rig.log.end(), "flash unload");
    const auto capture =
        std::find(rig.log.begin(), rig.log.end(), std::string("capture ") + kManualShot);
    EXPECT_LT(unload, capture);
    EXPECT_EQ(rig.log.back(), "tray modify");
    EXPECT_FALSE(rig.flash.loaded);
}

TEST(ManualShot, LetsTheRouteAskAgainJustBeforeItsCaptureButAutomaticShotsNever) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    rig.clock.tick += 60'000;
    form.tmrShot_Timer();
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(), "before manual shot"), 0);
    form.TakeManualShot();
    const auto capture =
        std::find(rig.log.begin(), rig.log.end(), std::string("capture ") + kManualShot);
    ASSERT_NE(capture, rig.log.begin());
    EXPECT_EQ(*(capture - 1), "before manual shot");
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(), "before manual shot"), 1);
}

TEST(ManualShot, GoesWithoutFlashWhenSwitchedOff) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    form.AppSettings.ShowFlash = false;
    form.TakeManualShot();
    ASSERT_GE(rig.log.size(), 2u);
    EXPECT_EQ(rig.log[0], "before manual shot");
    EXPECT_EQ(rig.log[1], std::string("capture ") + kManualShot);
}

TEST(ManualShot, AddsTheSeparatorItsFolderNeedsAndCreatesItOnce) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    rig.fs.AddFolder("D:\\Shots");
    form.AppSettings.ScreenshotFolder = "D:\\Shots";
    form.TakeManualShot();
    EXPECT_EQ(rig.screen.written.back(),
              "D:\\Shots\\manueller Screenshot\\ManualShot_20240305_140709.png");
    form.AppSettings.ScreenshotFolder = "C:\\Tools\\";
    form.TakeManualShot();
    rig.clock.now.second = 10;
    form.TakeManualShot();
    EXPECT_TRUE(rig.fs.Exists(kManualFolder, SearchFilter::OrdinaryFilesAndFolders));
    EXPECT_EQ(rig.screen.written.back(),
              "C:\\Tools\\manueller Screenshot\\ManualShot_20240305_140710.png");
}

TEST(ManualShot, ASecondClickInTheSameSecondWritesBesideTheFirst) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    const std::size_t before = rig.screen.written.size();
    for (int click = 0; click < 3; ++click) {
        form.TakeManualShot();
    }
    const std::string stem = std::string(kManualFolder) + "\\ManualShot_20240305_140709";
    EXPECT_EQ(
        std::vector(rig.screen.written.begin() + std::ptrdiff_t(before), rig.screen.written.end()),
        (std::vector<std::string>{stem + ".png", stem + "_2.png", stem + "_3.png"}));
}

TEST(ManualShot, IsNeverCountedNorDeleted) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    form.AppSettings.MaxImageCount = 1;
    for (int second = 0; second < 5; ++second) {
        rig.clock.now.second = second;
        form.TakeManualShot();
    }
    rig.clock.tick += 60'000;
    form.tmrShot_Timer();
    EXPECT_EQ(rig.fs.FileNamesIn(kManualFolder).size(), 5u);
    EXPECT_EQ(form.menu.Item("mnuInfoCount").caption, "Bilder: 1");
}

TEST(ManualShot, FailsSilentlyWhenTheFolderCannotBeMade) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    form.AppSettings.ScreenshotFolder = "C:\\Gone\\";
    const std::string before = form.menu.Item("mnuInfoCount").caption;
    form.TakeManualShot();
    EXPECT_TRUE(rig.windows.messages.empty());
    EXPECT_EQ(form.menu.Item("mnuInfoCount").caption, before);
    EXPECT_EQ(rig.log.back(),
              "capture C:\\Gone\\manueller Screenshot\\ManualShot_20240305_140709.png");
}

TEST(ManualShot, LetsADueTickAndASecondClickRunDuringTheFlash) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    rig.clock.tick += 60'000;
    rig.windows.onDoEvents = [&] {
        form.tmrShot_Timer();
        rig.clock.now.second = 10;
        rig.windows.onDoEvents = nullptr;
        form.TakeManualShot();  // nested: its flash ends the shared overlay
    };
    form.TakeManualShot();
    EXPECT_FALSE(rig.flash.loaded);
    // The clock stands still for the tick, so its shot goes beside start-up's; the nested click
    // writes first, and the outer one, in the same second, beside it.
    ASSERT_EQ(rig.screen.written.size(), 4u);
    EXPECT_EQ(rig.screen.written[1], "C:\\Tools\\Screenshot_20240305_140709_2.png");
    EXPECT_EQ(rig.screen.written[2],
              "C:\\Tools\\manueller Screenshot\\ManualShot_20240305_140710.png");
    EXPECT_EQ(rig.screen.written[3],
              "C:\\Tools\\manueller Screenshot\\ManualShot_20240305_140710_2.png");
}

}  // namespace
}  // namespace ruvello
