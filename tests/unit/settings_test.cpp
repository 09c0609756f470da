#include <gtest/gtest.h>

#include "fakes/test_rig.h"

namespace ruvello {
namespace {

using testing::TestRig;

TEST(LoadSettings, GivesTheDefaultsWithoutAFile) {
    TestRig rig;
    rig.form->LoadSettings();
    const AppSettings& s = rig.form->AppSettings;
    EXPECT_EQ(s.IntervalSeconds, 60);
    EXPECT_EQ(s.MaxImageCount, 500);
    EXPECT_EQ(s.MaxTotalSizeMB, 500);
    EXPECT_TRUE(s.UseMaxCount);
    EXPECT_TRUE(s.UseMaxSize);
    EXPECT_TRUE(s.ShowFlash);
    EXPECT_EQ(s.ScreenshotFolder, "C:\\Tools\\");
}

TEST(LoadSettings, ReadsAHandEditedFileInAnyOrderAndCase) {
    TestRig rig;
    rig.fs.AddFolder("D:");
    rig.WriteIni(
        "[SETTINGS]\nshowflash = falsch\nMAXIMAGECOUNT=25\nusemaxsize=nein\n"
        "IntervalSeconds=&H1E\nMaxTotalSizeMB=abc\nScreenshotFolder=D:\\Shots\\\n");
    rig.form->LoadSettings();
    const AppSettings& s = rig.form->AppSettings;
    EXPECT_EQ(s.IntervalSeconds, 30);
    EXPECT_EQ(s.MaxImageCount, 25);
    EXPECT_EQ(s.MaxTotalSizeMB, 500);
    EXPECT_FALSE(s.UseMaxSize);
    EXPECT_FALSE(s.ShowFlash);
    EXPECT_EQ(s.ScreenshotFolder, "D:\\Shots\\");
    EXPECT_TRUE(rig.fs.Exists("D:\\Shots\\", SearchFilter::OrdinaryFilesAndFolders));
}

TEST(LoadSettings, ClampsAnIntervalWithoutMillisecondForm) {
    TestRig rig;
    rig.WriteIni("[Settings]\r\nIntervalSeconds=2147484\r\n");
    rig.form->LoadSettings();
    EXPECT_EQ(rig.form->AppSettings.IntervalSeconds, kMaxIntervalSeconds);
}

TEST(LoadSettings, GivesAFolderWithoutSeparatorItsSeparatorAndAnEmptyOneTheProgramFolder) {
    TestRig rig;
    rig.fs.AddFolder("D:");
    rig.WriteIni("[Settings]\r\nScreenshotFolder=D:\\Shots\r\n");
    rig.form->LoadSettings();
    EXPECT_EQ(rig.form->AppSettings.ScreenshotFolder, "D:\\Shots\\");

    rig.WriteIni("[Settings]\r\nScreenshotFolder=\r\n");
    rig.form->LoadSettings();
    EXPECT_EQ(rig.form->AppSettings.ScreenshotFolder, "C:\\Tools\\");
}

TEST(LoadSettings, CreatesOneMissingFolderLevelOnly) {
    TestRig rig;
    rig.WriteIni("[Settings]\r\nScreenshotFolder=C:\\Tools\\Shots\\\r\n");
    rig.form->LoadSettings();
    EXPECT_TRUE(rig.fs.Exists("C:\\Tools\\Shots", SearchFilter::OrdinaryFilesAndFolders));

    rig.WriteIni("[Settings]\r\nScreenshotFolder=C:\\Tools\\a\\b\\\r\n");
    EXPECT_THROW(rig.form->LoadSettings(), PlatformError);
    EXPECT_EQ(rig.form->AppSettings.ScreenshotFolder, "C:\\Tools\\a\\b\\");
}

TEST(SaveSettings, WritesAllSevenInPlaceAndAppendsMissingKeys) {
    TestRig rig;
    rig.locale.trueWord = "True";
    rig.locale.falseWord = "False";
    rig.WriteIni("[Settings]\r\nShowFlash=falsch\r\n; keep me\r\nUnknown=1\r\n[Other]\r\nX=1\r\n");
    rig.form->LoadSettings();
    rig.form->SaveSettings();
    EXPECT_EQ(rig.Ini(),
              "[Settings]\r\nShowFlash=false\r\n; keep me\r\nUnknown=1\r\nIntervalSeconds=60\r\n"
              "MaxImageCount=500\r\nUseMaxCount=true\r\nUseMaxSize=true\r\nMaxTotalSizeMB=500\r\n"
              "ScreenshotFolder=C:\\Tools\\\r\n[Other]\r\nX=1\r\n");
}

TEST(SaveSettings, UsesTheLocalesWordsWhenTheyReadBack) {
    TestRig rig;
    rig.locale.trueWord = "Wahr";
    rig.locale.falseWord = "Falsch";
    rig.form->LoadSettings();
    rig.form->AppSettings.ShowFlash = false;
    rig.form->SaveSettings();
    EXPECT_NE(rig.Ini().find("UseMaxCount=wahr\r\n"), std::string::npos);
    EXPECT_NE(rig.Ini().find("ShowFlash=falsch\r\n"), std::string::npos);

    rig.locale.trueWord = "Vrai";  // unknown to the parser: would read back as the default
    rig.locale.falseWord = "Faux";
    rig.form->SaveSettings();
    EXPECT_NE(rig.Ini().find("ShowFlash=false\r\n"), std::string::npos);
    rig.form->LoadSettings();
    EXPECT_FALSE(rig.form->AppSettings.ShowFlash);
}

}  // namespace
}  // namespace ruvello
