#include <gtest/gtest.h>

#include "fakes/test_rig.h"
#include "tray/status_text.h"

namespace ruvello {
namespace {

using testing::TestRig;

TEST(FormatMegabytes, GivesOneDecimalWithTheLocalesSeparatorAndNoGrouping) {
    EXPECT_EQ(FormatMegabytes(0, ","), "0,0");
    EXPECT_EQ(FormatMegabytes(1.0, ","), "1,0");
    EXPECT_EQ(FormatMegabytes(1500, "."), "1500.0");
    EXPECT_EQ(FormatMegabytes(12.34, ","), "12,3");
    EXPECT_EQ(FormatMegabytes(0.96, ","), "1,0");
    EXPECT_EQ(FormatMegabytes(1234567.25, "."), "1234567.3");
}

TEST(Tooltip, IsCutAfterItsSixtyThirdCharacter) {
    EXPECT_EQ(TooltipText("Ruvello", "Größe", 0, "0,0"), "Ruvello - Bilder: 0 | Größe: 0,0 MB");
    const std::string cut = TooltipText("Ruvello Ruvello Ruvello", "Größe", 12345678, "9999999,9");
    EXPECT_EQ(cut, "Ruvello Ruvello Ruvello - Bilder: 12345678 | Größe: 9999999,9 M");
}

TEST(TipField, HoldsTheTextAZeroAndSpaces) {
    const std::u16string field = FillTipField(std::string(63, 'x'));
    ASSERT_EQ(field.size(), 128u);
    EXPECT_EQ(field.substr(0, 63), std::u16string(63, u'x'));
    EXPECT_EQ(field[63], u'\0');
    EXPECT_EQ(field.substr(64), std::u16string(64, u' '));

    const std::u16string longField = FillTipField(std::string(200, 'y'));
    EXPECT_EQ(longField.substr(0, 128), std::u16string(127, u'y') + u'\0');
    EXPECT_EQ(TipText(FillTipField("Größe")), "Größe");
}

TEST(RefreshStatus, WritesCountAndSizeIntoTheInfoLinesAndTheTooltip) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    EXPECT_EQ(form.menu.Item("mnuInfoCount").caption, "Bilder: 1");
    EXPECT_EQ(form.menu.Item("mnuInfoSize").caption, "Größe: 0,0 MB");
    rig.fs.AddFile("C:\\Tools\\big.png", 1'048'576 * 1500 - 1000);
    form.RefreshStatus();
    EXPECT_EQ(form.menu.Item("mnuInfoCount").caption, "Bilder: 2");
    EXPECT_EQ(form.menu.Item("mnuInfoSize").caption, "Größe: 1500,0 MB");
    EXPECT_EQ(TipText(rig.tray.requests.back().data.tip), "Ruvello - Bilder: 2 | Größe: 1500,0 MB");
}

TEST(TrayRecord, AddsWithTheDefaultIconThenTakesTheWindowsIconCopy) {
    TestRig rig;
    rig.Loaded();
    ASSERT_GE(rig.tray.requests.size(), 2u);
    EXPECT_EQ(rig.tray.requests[0].message, TrayMessage::Add);
    EXPECT_EQ(rig.tray.requests[0].data.window, 0x1234u);
    EXPECT_EQ(rig.tray.requests[0].data.icon, 32512u);
    EXPECT_EQ(TipText(rig.tray.requests[0].data.tip), "Ruvello - Bilder: 0 | Größe: 0,0 MB");
    EXPECT_EQ(rig.tray.requests[1].message, TrayMessage::Modify);
    EXPECT_EQ(rig.tray.requests[1].data.icon, 0x77u);
    EXPECT_EQ(rig.tray.requests[1].data.window, 0x1234u);
}

TEST(TrayRemove, NeverFailsAndDestroysOnlyTheIconItHolds) {
    TestRig never;
    never.form->tray().TrayRemove();
    never.form->tray().TrayRemove();
    EXPECT_TRUE(never.tray.destroyed.empty());

    TestRig rig;
    rig.Loaded();
    rig.tray.fails = true;
    rig.form->tray().TrayRemove();
    EXPECT_EQ(rig.tray.destroyed, std::vector<IconHandle>{0x77});

    TestRig noIcon;  // the program's icon never arrived: the shared default one is not destroyed
    noIcon.form->tray().TrayAdd(0x1234, "Ruvello");
    noIcon.form->tray().TrayRemove();
    EXPECT_TRUE(noIcon.tray.destroyed.empty());
}

TEST(TrayReAdd, AddsTheSameIconAndTipAgainOnceTheHostIsBack) {
    TestRig rig;
    rig.Loaded();
    rig.form->TrayHostRestarted();
    ASSERT_EQ(rig.tray.requests.back().message, TrayMessage::Add);
    EXPECT_EQ(rig.tray.requests.back().data.icon, 0x77u);
    EXPECT_EQ(TipText(rig.tray.requests.back().data.tip), "Ruvello - Bilder: 1 | Größe: 0,0 MB");
}

TEST(TrayIcon, IsLoadedAgainAtAnotherSizeAndTheOldOneDestroyed) {
    TestRig rig;
    rig.Loaded();
    rig.form->TrayIconSizeChanged();
    ASSERT_EQ(rig.tray.requests.back().message, TrayMessage::Modify);
    EXPECT_EQ(rig.tray.requests.back().data.icon, 0x78u);
    EXPECT_EQ(rig.tray.destroyed, std::vector<IconHandle>{0x77});
    rig.tray.fails = true;  // refused: the icon it replaced goes all the same
    rig.form->TrayIconSizeChanged();
    rig.tray.fails = false;
    rig.form->mnuExit_Click();
    EXPECT_EQ(rig.tray.destroyed, (std::vector<IconHandle>{0x77, 0x78, 0x79}));
    rig.form->TrayIconSizeChanged();  // after the end: nothing
    EXPECT_EQ(rig.tray.destroyed.size(), 3u);
}

}  // namespace
}  // namespace ruvello
