#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "platform/user_folders_xdg.h"
#include "tests/linux/scoped_env.h"

namespace ruvello {
namespace {

namespace fs = std::filesystem;

// A home folder of its own, with HOME and XDG_CONFIG_HOME pointing into it for the test.
class XdgUserFoldersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ruvello-home-XXXXXX";
        home_ = mkdtemp(pattern);
        Set("HOME", home_);
        Set("XDG_CONFIG_HOME", home_ + "/cfg");
    }
    void TearDown() override {
        while (!env_.empty()) {
            env_.pop_back();  // newest first, so that the first value saved comes back last
        }
        fs::remove_all(home_);
    }
    void Set(const char* name, const std::string& value) { env_.emplace_back(name, value.c_str()); }

    std::string home_;
    std::deque<ScopedEnv> env_;
    XdgUserFolders folders_;
};

TEST_F(XdgUserFoldersTest, PicturesFolderFollowsTheUserDirsFileElsePictures) {
    EXPECT_EQ(folders_.PicturesFolder(), home_ + "/Pictures");
    fs::create_directories(home_ + "/cfg");
    std::ofstream(home_ + "/cfg/user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
           "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    EXPECT_EQ(folders_.PicturesFolder(), home_ + "/Bilder");
}

TEST_F(XdgUserFoldersTest, ConfigHomeIgnoresARelativeXdgConfigHome) {
    EXPECT_EQ(folders_.ConfigHome(), home_ + "/cfg/");
    Set("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(folders_.ConfigHome(), home_ + "/.config/");
}

TEST_F(XdgUserFoldersTest, CanWriteOnlyInAnExistingFolderTheUserMayChange) {
    EXPECT_TRUE(folders_.CanWriteIn(home_));
    EXPECT_TRUE(folders_.CanWriteIn(home_ + "/"));
    EXPECT_FALSE(folders_.CanWriteIn(home_ + "/missing"));
    fs::create_directory(home_ + "/locked");
    fs::permissions(home_ + "/locked", fs::perms::owner_read | fs::perms::owner_exec);
    // Root may write anywhere; for everybody else the rights decide.
    EXPECT_EQ(folders_.CanWriteIn(home_ + "/locked"), geteuid() == 0);
}

}  // namespace
}  // namespace ruvello
