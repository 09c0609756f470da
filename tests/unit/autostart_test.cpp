#include <gtest/gtest.h>

#include "fakes/test_rig.h"

namespace ruvello {
namespace {

using testing::TestRig;

TEST(StartupFolder, ComesFromTheShellWithOneSeparatorOrFromAppData) {
    TestRig rig;
    EXPECT_EQ(rig.form->autostart().GetStartupFolder(), "C:\\Users\\anna\\Startup\\");
    rig.autostart.lookup = "C:\\Users\\anna\\Startup\\";
    EXPECT_EQ(rig.form->autostart().GetShortcutPath(), "C:\\Users\\anna\\Startup\\ruvello.lnk");
    rig.autostart.lookup.reset();
    rig.autostart.environment["APPDATA"] = "C:\\Users\\anna\\AppData\\Roaming";
    EXPECT_EQ(
        rig.form->autostart().GetStartupFolder(),
        "C:\\Users\\anna\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\");
    rig.autostart.environment.clear();
    EXPECT_EQ(rig.form->autostart().GetStartupFolder(),
              "\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\");
}

TEST(StartupFolder, IsTheXdgAutostartFolderOnLinux) {
    TestRig rig(kLinuxConventions);
    rig.autostart.environment = {{"HOME", "/home/anna"}};
    EXPECT_EQ(rig.form->autostart().GetShortcutPath(),
              "/home/anna/.config/autostart/ruvello.desktop");
    rig.autostart.environment["XDG_CONFIG_HOME"] = "relative/ignored";
    EXPECT_EQ(rig.form->autostart().GetStartupFolder(), "/home/anna/.config/autostart/");
    rig.autostart.environment["XDG_CONFIG_HOME"] = "/cfg/";
    EXPECT_EQ(rig.form->autostart().GetStartupFolder(), "/cfg/autostart/");
    EXPECT_EQ(rig.form->autostart().GetExePath(), "/opt/ruvello/ruvello");
}

TEST(Shortcut, PointsAtTheProgramAlsoInADriveRoot) {
    TestRig rig;
    ShortcutFields fields = rig.form->autostart().ShortcutFor("C:\\Tools\\ruvello.exe");
    EXPECT_EQ(fields.TargetPath, "C:\\Tools\\ruvello.exe");
    EXPECT_EQ(fields.WorkingDirectory, "C:\\Tools");
    EXPECT_EQ(fields.IconLocation, "C:\\Tools\\ruvello.exe,0");
    EXPECT_EQ(fields.WindowStyle, 7);
    rig.fs = testing::FakeFileSystem(kWindowsConventions, "C:\\");
    EXPECT_EQ(rig.form->autostart().GetExePath(), "C:\\ruvello.exe");
    EXPECT_EQ(rig.form->autostart().ShortcutFor("C:\\ruvello.exe").WorkingDirectory, "C:");
}

struct Startup {
    TestRig rig;
    frmMain& form;
    const std::string lnk = "C:\\Users\\anna\\Startup\\ruvello.lnk";
    Startup() : form((rig.fs.AddFolder("C:\\Users\\anna\\Startup"), rig.Loaded())) {}
    bool Checked() { return form.menu.Item("mnuAutostart").checked; }
};

TEST(AutostartSwitch, TogglesFromWhatIsOnDisk) {
    Startup s;
    EXPECT_FALSE(s.Checked());
    s.form.mnuAutostart_Click();
    EXPECT_TRUE(s.rig.fs.Exists(s.lnk, SearchFilter::OrdinaryFiles));
    EXPECT_TRUE(s.Checked());
    EXPECT_EQ(s.rig.autostart.saved.at(0).TargetPath, "C:\\Tools\\ruvello.exe");

    s.rig.fs.RemoveFile(s.lnk);  // deleted outside the program: the mark stays set
    s.form.mnuAutostart_Click();
    EXPECT_TRUE(s.rig.fs.Exists(s.lnk, SearchFilter::OrdinaryFiles));
    EXPECT_TRUE(s.Checked());

    s.form.mnuAutostart_Click();
    EXPECT_FALSE(s.rig.fs.Exists(s.lnk, SearchFilter::OrdinaryFiles));
    EXPECT_FALSE(s.Checked());
    EXPECT_TRUE(s.rig.windows.messages.empty());
}

TEST(AutostartSwitch, FollowsASwitchOffNotedByTheDesktop) {
    TestRig rig;
    const std::string lnk = "C:\\Users\\anna\\Startup\\ruvello.lnk";
    rig.fs.AddFolder("C:\\Users\\anna\\Startup");
    rig.fs.AddFile(lnk, 100);
    rig.autostart.switchedOff.insert(lnk);  // Task Manager keeps the shortcut
    frmMain& form = rig.Loaded();
    EXPECT_FALSE(form.menu.Item("mnuAutostart").checked);

    form.mnuAutostart_Click();  // switches it on again, rather than deleting the shortcut
    EXPECT_TRUE(rig.fs.Exists(lnk, SearchFilter::OrdinaryFiles));
    EXPECT_TRUE(rig.autostart.switchedOff.empty());
    EXPECT_EQ(rig.autostart.saved.size(), 1u);
    EXPECT_TRUE(form.menu.Item("mnuAutostart").checked);
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST(AutostartSwitch, DisablingWithoutAShortcutSucceeds) {
    Startup s;
    EXPECT_TRUE(s.form.autostart().SetAutostart(false));
}

TEST(AutostartSwitch, ShowsBothMessagesWhenTheExecutableIsMissing) {
    Startup s;
    s.rig.fs.RemoveFile("C:\\Tools\\ruvello.exe");
    s.form.mnuAutostart_Click();
    ASSERT_EQ(s.rig.windows.messages.size(), 2u);
    EXPECT_EQ(s.rig.windows.messages[0].text,
              "Autostart kann erst nach dem Kompilieren eingerichtet werden.\r\nErstellte EXE "
              "nicht gefunden:\r\n"
              "C:\\Tools\\ruvello.exe");
    EXPECT_EQ(s.rig.windows.messages[1].text, "Autostart konnte nicht geändert werden.");
    EXPECT_EQ(s.rig.windows.messages[1].title, "Autostart");
    EXPECT_FALSE(s.rig.fs.Exists(s.lnk, SearchFilter::AnyFile));
    EXPECT_FALSE(s.Checked());
}

TEST(AutostartSwitch, ShowsOneMessageWhenTheShortcutCannotBeChanged) {
    Startup s;
    s.rig.autostart.saveFails = true;
    s.form.mnuAutostart_Click();
    ASSERT_EQ(s.rig.windows.messages.size(), 1u);
    EXPECT_EQ(s.rig.windows.messages[0].text, "Autostart konnte nicht geändert werden.");

    s.rig.autostart.saveFails = false;
    s.form.mnuAutostart_Click();
    s.rig.fs.undeletable.insert(s.lnk);
    s.form.mnuAutostart_Click();
    EXPECT_EQ(s.rig.windows.messages.size(), 2u);
    EXPECT_TRUE(s.Checked());
}

}  // namespace
}  // namespace ruvello
