#include <gtest/gtest.h>

#include "fakes/test_rig.h"
#include "settings/ini_file_store.h"

namespace ruvello {
namespace {

using testing::TestRig;

TEST(IniLookup, MatchesNamesRegardlessOfCaseAndDropsBlanks) {
    const std::string file =
        "; comment\r\n[settings]\r\n  intervalseconds =  30 \r\nShowFlash=\tja\t\r\n";
    EXPECT_EQ(IniLookup(file, "Settings", "IntervalSeconds", "60"), "30");
    EXPECT_EQ(IniLookup(file, "SETTINGS", "SHOWFLASH", "true"), "ja");
}

TEST(IniLookup, GivesTheDefaultForMissingSectionOrKeyButNotForAnEmptyValue) {
    const std::string file = "[Other]\r\nMaxImageCount=7\r\n[Settings]\r\nMaxImageCount=\r\n";
    EXPECT_EQ(IniLookup(file, "Settings", "MaxImageCount", "500"), "");
    EXPECT_EQ(IniLookup(file, "Settings", "UseMaxSize", "true"), "true");
    EXPECT_EQ(IniLookup(file, "Missing", "MaxImageCount", "500"), "500");
    EXPECT_EQ(IniLookup("", "Settings", "MaxImageCount", "500"), "500");
}

TEST(IniLookup, UsesTheFirstOfDuplicateSectionsAndKeys) {
    const std::string file = "[Settings]\nA=1\nA=2\n[Settings]\nA=3\nB=4\n";
    EXPECT_EQ(IniLookup(file, "Settings", "A", "x"), "1");
    EXPECT_EQ(IniLookup(file, "Settings", "B", "x"), "x");
}

TEST(IniLookup, CutsLongValuesTo1023BytesWithoutSplittingACharacter) {
    EXPECT_EQ(IniLookup("[S]\r\nK=" + std::string(2000, 'x') + "\r\n", "S", "K", ""),
              std::string(1023, 'x'));
    std::string umlauts;
    for (int i = 0; i < 600; ++i) {
        umlauts += "ö";  // two bytes each: byte 1023 would split the 512th
    }
    EXPECT_EQ(IniLookup("[S]\r\nK=" + umlauts, "S", "K", "").size(), 1022u);
}

TEST(IniLookup, IgnoresAUtf8ByteOrderMark) {
    EXPECT_EQ(IniLookup("\xEF\xBB\xBF[Settings]\r\nA=1\r\n", "Settings", "A", "x"), "1");
}

TEST(IniUpdate, ReplacesAValueInPlaceAndLeavesEveryOtherByte) {
    const std::string before =
        "; mine\n[Other]\nA = 1\n\n[Settings]\r\nintervalseconds = 30 \r\nX=y\r\n[Z]\nk=v";
    EXPECT_EQ(IniUpdate(before, "Settings", "IntervalSeconds", "5"),
              "; mine\n[Other]\nA = 1\n\n[Settings]\r\nintervalseconds=5\r\nX=y\r\n[Z]\nk=v");
}

TEST(IniUpdate, AppendsANewKeyAfterTheLastKeyOfItsSection) {
    EXPECT_EQ(IniUpdate("[Settings]\r\nA=1\r\n\r\n; next\r\n[Z]\r\n", "Settings", "B", "2"),
              "[Settings]\r\nA=1\r\nB=2\r\n\r\n; next\r\n[Z]\r\n");
    EXPECT_EQ(IniUpdate("[Settings]\nA=1", "Settings", "B", "2"), "[Settings]\nA=1\r\nB=2\r\n");
    EXPECT_EQ(IniUpdate("[Settings]\r\n", "Settings", "B", "2"), "[Settings]\r\nB=2\r\n");
}

TEST(IniUpdate, EndsALastLineThatHasOnlyACarriageReturn) {
    const std::string updated = IniUpdate("\xEF\xBB\xBF[Settings]\r", "Settings", "A", "42");
    EXPECT_EQ(updated, "\xEF\xBB\xBF[Settings]\r\r\nA=42\r\n");
    EXPECT_EQ(IniLookup(updated, "Settings", "A", "x"), "42");
}

TEST(IniUpdate, CreatesAMissingSectionAtTheEnd) {
    EXPECT_EQ(IniUpdate("", "Settings", "A", "1"), "[Settings]\r\nA=1\r\n");
    EXPECT_EQ(IniUpdate("[Z]\nk=v", "Settings", "A", "1"), "[Z]\nk=v\r\n[Settings]\r\nA=1\r\n");
}

TEST(IniFileStore, RefusesValuesThatWouldBreakTheLineStructure) {
    TestRig rig;
    rig.WriteIni("[Settings]\r\nA=1\r\n");
    rig.store.WriteString(rig.IniPath(), "Settings", "A", "2\r\nInjected=1");
    rig.store.WriteString(rig.IniPath(), "Settings", "B", "x\ny");
    EXPECT_EQ(rig.Ini(), "[Settings]\r\nA=1\r\n");
}

TEST(IniFileStore, LeavesAReadOnlyFileAsItWas) {
    TestRig rig;
    rig.WriteIni("[Settings]\r\nA=1\r\n");
    rig.fs.readOnly.insert(rig.IniPath());
    rig.form->ini().IniWrite("Settings", "A", "2");
    EXPECT_EQ(rig.Ini(), "[Settings]\r\nA=1\r\n");
    EXPECT_EQ(rig.form->ini().IniRead("Settings", "A", "x"), "1");
}

TEST(EnsureIniDefaults, WritesTheEightLinesOnFirstStart) {
    TestRig rig;
    rig.form->ini().EnsureIniDefaults();
    EXPECT_EQ(rig.Ini(),
              "[Settings]\r\nIntervalSeconds=60\r\nMaxImageCount=500\r\nUseMaxCount=true\r\n"
              "UseMaxSize=true\r\nMaxTotalSizeMB=500\r\nScreenshotFolder=C:\\Tools\\\r\nShowFlash="
              "true\r\n");
}

TEST(EnsureIniDefaults, StoresAUtf8ProgramFolderUnchanged) {
    TestRig rig(kLinuxConventions);
    rig.fs = testing::FakeFileSystem(kLinuxConventions, "/home/łukasz/Programme/Rüvello");
    rig.fs.AddFolder("/home/łukasz/Programme/Rüvello");
    rig.form->ini().EnsureIniDefaults();
    EXPECT_NE(rig.fs.Content("/home/łukasz/Programme/Rüvello/config.ini")
                  .find("\r\nScreenshotFolder=/home/łukasz/Programme/Rüvello/\r\n"),
              std::string::npos);
}

TEST(EnsureIniDefaults, NeverTouchesAnExistingFileEvenEmptyOrHidden) {
    TestRig rig;
    rig.WriteIni("");
    rig.form->ini().EnsureIniDefaults();
    EXPECT_EQ(rig.Ini(), "");

    rig.fs.Find(rig.IniPath())->hidden = true;
    rig.fs.Find(rig.IniPath())->content = "[Settings]\r\nIntervalSeconds=5\r\n";
    rig.form->ini().EnsureIniDefaults();
    EXPECT_EQ(rig.Ini(), "[Settings]\r\nIntervalSeconds=5\r\n");
}

TEST(GetAppDir, EndsInOneSeparatorAlsoAtADriveRoot) {
    TestRig rig;
    EXPECT_EQ(rig.form->ini().GetAppDir(), "C:\\Tools\\");
    rig.fs = testing::FakeFileSystem(kWindowsConventions, "C:\\");
    EXPECT_EQ(rig.form->ini().GetIniPath(), "C:\\config.ini");
}

}  // namespace
}  // namespace ruvello
