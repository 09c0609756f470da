#include <gtest/gtest.h>

#include "fakes/test_rig.h"
#include "retention/png_listing.h"

namespace ruvello {
namespace {

using testing::TestRig;

struct Menu {
    TestRig rig;
    frmMain& form;
    Menu() : form(rig.Loaded()) {}
    // Right click on the icon and choose the item from the open menu.
    void Choose(const std::string& name, std::int32_t index = MenuItem::kNoIndex) {
        rig.windows.onPopup = [&](MenuTree& menu) {
            menu.Click(index == MenuItem::kNoIndex
                           ? menu.Item(name)
                           : menu.Element(name, static_cast<std::int16_t>(index)));
        };
        form.Form_MouseMove(kTrayRightButtonUp);
    }
    void Screenshots(int count) {
        for (int i = 0; i < count; ++i) {
            rig.fs.AddFile("C:\\Tools\\Screenshot_" + std::to_string(1000 + i) + ".png", 1000,
                           {2024, 1, 1, 9, i / 60, i % 60});
        }
    }
    std::size_t Pngs() { return ListPngFiles(rig.fs, "C:\\Tools\\").size(); }
};

TEST(TrayEvents, OnlyReleasedButtonsDoSomething) {
    Menu m;
    for (const std::int32_t code : {0x200, 0x201, 0x203, 0x204, 0x206}) {
        m.form.Form_MouseMove(code);
    }
    EXPECT_TRUE(m.rig.log.empty());
    m.form.Form_MouseMove(kTrayLeftButtonUp);
    EXPECT_EQ(m.rig.screen.written.back(),
              "C:\\Tools\\manueller Screenshot\\ManualShot_20240305_140709.png");
    m.rig.log.clear();
    m.form.Form_MouseMove(kTrayRightButtonUp);
    EXPECT_EQ(m.rig.log, (testing::EventLog{"popup open", "popup closed"}));
}

TEST(Switches, InvertTheirSettingMoveTheCheckMarkAndSaveWithoutTouchingTheFolder) {
    for (const auto& [item, field] : {std::pair{"mnuFlash", &AppSettings::ShowFlash},
                                      std::pair{"mnuUseCount", &AppSettings::UseMaxCount},
                                      std::pair{"mnuUseSize", &AppSettings::UseMaxSize}}) {
        Menu m;
        m.form.AppSettings.MaxImageCount = 25;
        m.Screenshots(40);
        m.Choose(item);
        EXPECT_FALSE(m.form.AppSettings.*field) << item;
        EXPECT_FALSE(m.form.menu.Item(item).checked) << item;
        EXPECT_NE(m.rig.Ini().find("=false\r\n"), std::string::npos) << item;
        m.Choose(item);
        EXPECT_TRUE(m.form.AppSettings.*field) << item;
        EXPECT_TRUE(m.form.menu.Item(item).checked) << item;
        EXPECT_EQ(m.Pngs(), 41u) << item;  // switching a limit on deletes nothing yet
        EXPECT_EQ(m.form.menu.Item("mnuInfoCount").caption, "Bilder: 1") << item;
    }
}

TEST(CountChoice, AppliesTheNewLimitAtOnceWhenItIsOn) {
    Menu m;
    m.form.AppSettings.UseMaxSize = false;
    m.Screenshots(249);  // with the start-up shot: 250
    m.Choose("mnuCount", 2);
    EXPECT_EQ(m.form.AppSettings.MaxImageCount, 100);
    EXPECT_EQ(m.Pngs(), 100u);
    EXPECT_TRUE(m.rig.fs.Find("C:\\Tools\\Screenshot_20240305_140709.png"));  // the newest stay
    EXPECT_TRUE(m.form.menu.Element("mnuCount", 2).checked);
    EXPECT_FALSE(m.form.menu.Element("mnuCount", 4).checked);
    EXPECT_NE(m.rig.Ini().find("MaxImageCount=100\r\n"), std::string::npos);
    EXPECT_EQ(m.form.menu.Item("mnuInfoCount").caption, "Bilder: 100");
    EXPECT_EQ(TipText(m.rig.form->tray().record().tip), "Ruvello - Bilder: 100 | Größe: 0,1 MB");
}

TEST(CountChoice, SavesAndRefreshesButDeletesNothingWhenTheLimitIsOff) {
    Menu m;
    m.form.AppSettings.UseMaxCount = false;
    m.form.AppSettings.UseMaxSize = false;
    m.Screenshots(249);
    m.Choose("mnuCount", 2);
    EXPECT_EQ(m.Pngs(), 250u);
    EXPECT_NE(m.rig.Ini().find("MaxImageCount=100\r\n"), std::string::npos);
    EXPECT_EQ(m.form.menu.Item("mnuInfoCount").caption, "Bilder: 250");
}

TEST(SizeChoice, AppliesTheNewSizeLimit) {
    Menu m;
    m.rig.fs.AddFile("C:\\Tools\\old.png", 60 * 1'048'576, {2020, 1, 1, 0, 0, 0});
    m.Choose("mnuSize", 0);
    EXPECT_EQ(m.form.AppSettings.MaxTotalSizeMB, 50);
    EXPECT_FALSE(m.rig.fs.Find("C:\\Tools\\old.png"));
    EXPECT_NE(m.rig.Ini().find("MaxTotalSizeMB=50\r\n"), std::string::npos);
    EXPECT_EQ(m.form.menu.Item("mnuInfoSize").caption, "Größe: 0,0 MB");
}

TEST(IntervalChoice, RestartsTheScheduleWithoutAShot) {
    Menu m;
    m.rig.clock.tick = 30'000;
    m.Choose("mnuIntervalItem", 0);
    EXPECT_EQ(m.form.AppSettings.IntervalSeconds, 5);
    EXPECT_EQ(m.form.nextShotTick, 35'000u);
    EXPECT_EQ(m.rig.timer.interval, 500);
    EXPECT_EQ(m.rig.screen.written.size(), 1u);
    EXPECT_TRUE(m.form.menu.Element("mnuIntervalItem", 0).checked);
    EXPECT_FALSE(m.form.menu.Element("mnuIntervalItem", 4).checked);
    EXPECT_NE(m.rig.Ini().find("IntervalSeconds=5\r\n"), std::string::npos);

    m.rig.clock.tick = 33'000;
    m.Choose("mnuIntervalItem", 0);  // the marked one still restarts
    EXPECT_EQ(m.form.nextShotTick, 38'000u);
}

TEST(Commands, AFailureIsReportedAndTheProgramRunsOn) {
    Menu m;
    m.Screenshots(3);
    m.rig.fs.vanishOnRead.insert("C:\\Tools\\Screenshot_1000.png");
    m.rig.tray.fails = true;  // the status refresh fails after the limit was applied
    m.Choose("mnuCount", 0);
    ASSERT_EQ(m.rig.windows.messages.size(), 1u);
    EXPECT_EQ(m.rig.windows.messages[0].title, "Ruvello");
    EXPECT_NE(m.rig.Ini().find("MaxImageCount=25\r\n"), std::string::npos);
    m.rig.tray.fails = false;
    m.Choose("mnuCount", 1);
    EXPECT_EQ(m.rig.windows.messages.size(), 1u);
}

TEST(Exit, UnloadsWithoutAsking) {
    Menu m;
    m.Choose("mnuExit");
    EXPECT_EQ(m.rig.log, (testing::EventLog{"popup open", "unload main window", "timer off",
                                            "tray delete", "gdiplus stop", "popup closed"}));
    EXPECT_TRUE(m.rig.windows.messages.empty());
}

}  // namespace
}  // namespace ruvello
