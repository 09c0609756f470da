#include <gtest/gtest.h>

#include "fakes/test_rig.h"
#include "tray/choice_lists.h"

namespace ruvello {
namespace {

using testing::TestRig;

std::vector<std::string> Captions(const MenuItem& parent) {
    std::vector<std::string> captions;
    for (const auto& child : parent.children) {
        captions.push_back(child->caption);
    }
    return captions;
}

std::vector<std::string> Checked(const MenuItem& parent) {
    std::vector<std::string> checked;
    for (const auto& child : parent.children) {
        if (child->checked) {
            checked.push_back(child->caption);
        }
    }
    return checked;
}

TEST(MenuTree, HasItsItemsInDisplayOrderWhenLoaded) {
    MenuTree menu;
    EXPECT_EQ(Captions(menu.Root()),
              (std::vector<std::string>{"Ruvello", "Bilder: ?", "Größe: ? MB", "Version", "-",
                                        "Max. Bilder", "Max. Speicher (MB)", "Intervall",
                                        "Optische Rückmeldung (Blitz) bei manuellem Screenshot",
                                        "Automatischer Programmstart bei Anmeldung", "-",
                                        "Begrenzung Anzahl aktiv", "Begrenzung Speicher aktiv", "-",
                                        "Beenden"}));
    EXPECT_FALSE(menu.Item("mnuInfoCount").enabled);
    EXPECT_TRUE(menu.Item("mnuspacer2").IsSeparator());
    EXPECT_EQ(menu.Item("mnuMaxCount").children.size(), 1u);
    EXPECT_EQ(menu.Element("mnuCount", 0).caption, "");
}

TEST(MenuTree, CreatesControlArrayElementsOnlyOnceAndInOrder) {
    MenuTree menu;
    EXPECT_THROW(menu.CreateElement("mnuCount", 0), std::invalid_argument);
    EXPECT_THROW(menu.CreateElement("mnuCount", 2), std::out_of_range);
    menu.CreateElement("mnuCount", 1);
    EXPECT_THROW(menu.CreateElement("mnuCount", 1), std::invalid_argument);
    EXPECT_EQ(menu.Element("mnuCount", 1).parent, &menu.Item("mnuMaxCount"));
}

TEST(MenuTree, ClicksOnlyChoosableItems) {
    MenuTree menu;
    std::vector<std::string> clicked;
    menu.SetClickHandler([&](const MenuItem& item) { clicked.push_back(item.name); });
    menu.Click(menu.Item("mnuTitle"));
    menu.Click(menu.Item("mnuspacer1"));
    menu.Click(menu.Item("mnuMaxCount"));
    menu.Click(menu.Item("mnuExit"));
    EXPECT_EQ(clicked, std::vector<std::string>{"mnuExit"});
}

TEST(BuildTrayMenu, FillsTheChoicesAndChecksTheDefaults) {
    TestRig rig;
    frmMain& form = rig.Loaded();
    EXPECT_EQ(Captions(form.menu.Item("mnuMaxCount")),
              (std::vector<std::string>{"25", "50", "100", "250", "500", "750", "1000", "1500"}));
    EXPECT_EQ(Captions(form.menu.Item("mnuMaxSize")),
              (std::vector<std::string>{"50", "100", "500", "750", "1000", "1500"}));
    EXPECT_EQ(
        Captions(form.menu.Item("mnuInterval")),
        (std::vector<std::string>{"5 Sek.", "10 Sek.", "15 Sek.", "30 Sek.", "1 Min.", "2 Min.",
                                  "5 Min.", "10 Min.", "15 Min.", "20 Min.", "30 Min."}));
    EXPECT_EQ(form.intervalChoices.back(), 1800);
    EXPECT_EQ(Checked(form.menu.Item("mnuMaxCount")), std::vector<std::string>{"500"});
    EXPECT_EQ(Checked(form.menu.Item("mnuMaxSize")), std::vector<std::string>{"500"});
    EXPECT_EQ(Checked(form.menu.Item("mnuInterval")), std::vector<std::string>{"1 Min."});
    EXPECT_EQ(Checked(form.menu.Root()),
              (std::vector<std::string>{"Optische Rückmeldung (Blitz) bei manuellem Screenshot",
                                        "Begrenzung Anzahl aktiv", "Begrenzung Speicher aktiv"}));
}

TEST(BuildTrayMenu, ChecksNothingForSettingsOutsideTheLists) {
    TestRig rig;
    rig.WriteIni(
        "[Settings]\r\nIntervalSeconds=45\r\nMaxTotalSizeMB=250\r\nMaxImageCount=1500\r\n");
    frmMain& form = rig.Loaded();
    EXPECT_TRUE(Checked(form.menu.Item("mnuInterval")).empty());
    EXPECT_TRUE(Checked(form.menu.Item("mnuMaxSize")).empty());
    EXPECT_EQ(Checked(form.menu.Item("mnuMaxCount")), std::vector<std::string>{"1500"});
    EXPECT_TRUE(form.menu.Element("mnuCount", 7).checked);
    EXPECT_EQ(form.nextShotTick, rig.clock.tick + 45'000u);
}

TEST(ChoiceLists, TrimSpacesAroundEachPartAndRefuseWhatIsNoNumber) {
    EXPECT_EQ(ParseIntegerList(" 25, 50 ,100"), (std::vector<std::int16_t>{25, 50, 100}));
    EXPECT_EQ(ParseLongList("5"), (std::vector<std::int32_t>{5}));
    EXPECT_EQ(ParseTextList("5 Sek. , 1 Min."), (std::vector<std::string>{"5 Sek.", "1 Min."}));
    EXPECT_EQ(ParseTextList("a,,b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_THROW(ParseIntegerList("25,x"), std::invalid_argument);
    EXPECT_THROW(ParseIntegerList("40000"), std::invalid_argument);
    EXPECT_THROW(ParseLongList("1.5"), std::invalid_argument);
}

}  // namespace
}  // namespace ruvello
