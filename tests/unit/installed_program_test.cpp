#include <gtest/gtest.h>

#include "fakes/test_rig.h"

namespace ruvello {
namespace {

using testing::TestRig;

// The program in a folder the user may not write in, as an installed one is, on a new account:
// a home folder and nothing in it.
struct Installed {
    TestRig rig{kLinuxConventions};
    testing::FakeUserFolders folders;
    const std::string ini = "/home/anna/.config/ruvello/config.ini";

    Installed() {
        rig.platform.userFolders = &folders;
        rig.form = std::make_unique<frmMain>(rig.platform);
        rig.fs.AddFolder("/home");
        rig.fs.AddFolder("/home/anna");
        rig.autostart.environment = {{"HOME", "/home/anna"}};
    }
    std::vector<std::string> BesideProgram() { return rig.fs.FileNamesIn(rig.ProgramFolder()); }
};

TEST(InstalledProgram, KeepsSettingsAndScreenshotsInTheUsersOwnFolders) {
    Installed p;
    p.rig.form->Form_Load();
    EXPECT_TRUE(p.rig.windows.messages.empty());
    EXPECT_EQ(p.rig.fs.Content(p.ini),
              "[Settings]\r\nIntervalSeconds=60\r\nMaxImageCount=500\r\nUseMaxCount=true\r\n"
              "UseMaxSize=true\r\nMaxTotalSizeMB=500\r\n"
              "ScreenshotFolder=/home/anna/Bilder/Ruvello/\r\nShowFlash=true\r\n");
    ASSERT_EQ(p.rig.screen.written.size(), 1u);
    EXPECT_EQ(p.rig.screen.written[0].rfind("/home/anna/Bilder/Ruvello/Screenshot_", 0), 0u);
    EXPECT_EQ(p.BesideProgram(), std::vector<std::string>{"ruvello"});
    // A run that ended while it wrote left its temporary files where it writes, not beside it.
    EXPECT_EQ(p.rig.fs.leftoverSweeps,
              (std::vector<std::string>{"/home/anna/.config/ruvello/", "/home/anna/Bilder/Ruvello/",
                                        "/home/anna/Bilder/Ruvello/manueller Screenshot/"}));
}

TEST(InstalledProgram, SavesMenuChoicesThereAndStartsTheInstalledProgramAtLogon) {
    Installed p;
    p.rig.Loaded().mnuFlash_Click();
    EXPECT_NE(p.rig.fs.Content(p.ini).find("\r\nShowFlash=false\r\n"), std::string::npos);
    p.rig.fs.AddFolder("/home/anna/.config/autostart");
    p.rig.form->mnuAutostart_Click();
    ASSERT_EQ(p.rig.autostart.saved.size(), 1u);
    EXPECT_EQ(p.rig.autostart.saved[0].TargetPath, "/opt/ruvello/ruvello");
    EXPECT_EQ(p.BesideProgram(), std::vector<std::string>{"ruvello"});
}

TEST(InstalledProgram, TakesItsOwnFolderForAnEmptyOneAndMakesThePicturesFolderAboveIt) {
    Installed p;
    p.folders.pictures = "/home/anna/Medien/Bilder/";
    p.rig.fs.AddFolder("/home/anna/.config");
    p.rig.fs.AddFolder("/home/anna/.config/ruvello");
    p.rig.fs.ReplaceWholeFile(p.ini, "[Settings]\r\nScreenshotFolder=\r\n");
    p.rig.form->LoadSettings();
    EXPECT_EQ(p.rig.form->AppSettings.ScreenshotFolder, "/home/anna/Medien/Bilder/Ruvello/");
    EXPECT_TRUE(p.rig.fs.Exists("/home/anna/Medien/Bilder/Ruvello/",
                                SearchFilter::OrdinaryFilesAndFolders));
}

TEST(InstalledProgram, SaysOnceThatItCannotMakeItsSettingsFolderAndRunsOn) {
    Installed p;
    p.rig.fs.AddFile("/home/anna/.config");  // a file where the folder should be
    p.rig.form->Form_Load();
    ASSERT_EQ(p.rig.windows.messages.size(), 1u);
    EXPECT_NE(p.rig.windows.messages[0].text.find("/home/anna/.config/ruvello/"),
              std::string::npos);
    EXPECT_TRUE(p.rig.timer.enabled);
    EXPECT_EQ(p.rig.screen.written.size(), 1u);  // into the default folder
    EXPECT_EQ(p.BesideProgram(), std::vector<std::string>{"ruvello"});
}

TEST(PortableProgram, KeepsEverythingBesideItselfWhileItsFolderIsWritable) {
    Installed p;
    p.folders.writable = {"/opt/ruvello/"};
    p.rig.form->Form_Load();
    EXPECT_NE(p.rig.Ini().find("\r\nScreenshotFolder=/opt/ruvello/\r\n"), std::string::npos);
    EXPECT_EQ(p.rig.fs.Find("/home/anna/.config"), nullptr);
    EXPECT_EQ(p.rig.fs.Find("/home/anna/Bilder"), nullptr);
}

TEST(MakeFolders, MakesOnlyTheMissingLevelsAlsoBelowADrive) {
    testing::FakeFileSystem fs(kWindowsConventions, "C:\\Tools");
    fs.AddFolder("C:\\Users");
    fs.AddFile("C:\\Users\\keep.txt").content = "mine";
    MakeFolders(fs, "C:\\Users\\anna\\Pictures\\Ruvello\\", kWindowsConventions);
    EXPECT_TRUE(
        fs.Exists("C:\\Users\\anna\\Pictures\\Ruvello", SearchFilter::OrdinaryFilesAndFolders));
    EXPECT_EQ(fs.Content("C:\\Users\\keep.txt"), "mine");
    EXPECT_NO_THROW(MakeFolders(fs, "C:\\Users\\anna\\Pictures\\Ruvello", kWindowsConventions));
}

}  // namespace
}  // namespace ruvello
