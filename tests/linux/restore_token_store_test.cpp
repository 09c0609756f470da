#include "capture/portal/restore_token_store_posix.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/linux/scoped_env.h"

namespace ruvello {
namespace {

namespace fs = std::filesystem;

const char* const kToken = "3f1c2a9e-7b44-4c1d-9e0a-5b6c7d8e9f01";

class RestoreTokenStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ruvello-token-XXXXXX";
        root_ = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(root_); }
    std::string root_;
};

TEST_F(RestoreTokenStoreTest, LivesInTheStateFolderAndNeverBesideTheProgram) {
    ScopedEnv home("HOME", "/home/anna");
    {
        ScopedEnv state("XDG_STATE_HOME", "/var/state/anna");
        EXPECT_EQ(RestoreTokenStore::DefaultPath(),
                  "/var/state/anna/ruvello/screencast-restore-token");
    }
    for (const char* ignored : {"relative/state", "", static_cast<const char*>(nullptr)}) {
        ScopedEnv state("XDG_STATE_HOME", ignored);
        EXPECT_EQ(RestoreTokenStore::DefaultPath(),
                  "/home/anna/.local/state/ruvello/screencast-restore-token");
    }
}

TEST_F(RestoreTokenStoreTest, KeepsTheLastTokenInFoldersOfItsOwnUntilForgotten) {
    RestoreTokenStore store(root_ + "/state/ruvello/screencast-restore-token");
    EXPECT_EQ(store.Load(), "");
    ASSERT_TRUE(store.Save(kToken));
    EXPECT_EQ(store.Load(), kToken);
    struct stat folder {};
    ASSERT_EQ(stat((root_ + "/state").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    const std::string next = "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee";
    ASSERT_TRUE(store.Save(next));
    EXPECT_EQ(RestoreTokenStore(store.Path()).Load(), next);
    store.Forget();
    EXPECT_FALSE(fs::exists(store.Path()));
    EXPECT_EQ(store.Load(), "");
}

TEST_F(RestoreTokenStoreTest, IgnoresAFileThatHoldsNoToken) {
    RestoreTokenStore store(root_ + "/token");
    for (const char* content :
         {"", "not a token\n", "3f1c2a9e-7b44-4c1d-9e0a-5b6c7d8e9f0\n",
          "3f1c2a9e-7b44-4c1d-9e0a-5b6c7d8e9f012\n", "3f1c2a9e_7b44-4c1d-9e0a-5b6c7d8e9f01\n",
          "3f1c2a9e-7b44-4c1d-9e0a-5b6c7d8e9fzz\n"}) {
        std::ofstream(store.Path(), std::ios::binary) << content;
        EXPECT_EQ(store.Load(), "") << content;
    }
    std::ofstream(store.Path(), std::ios::binary) << kToken << "\n";
    EXPECT_EQ(store.Load(), kToken);
}

TEST_F(RestoreTokenStoreTest, KeepsHowManyMonitorsTheChoiceWasMadeAmong) {
    RestoreTokenStore store(root_ + "/token");
    EXPECT_EQ(store.MonitorsAtChoice(), 0u);
    ASSERT_TRUE(store.Save(kToken, 3));
    EXPECT_EQ(store.Load(), kToken);
    EXPECT_EQ(store.MonitorsAtChoice(), 3u);
    ASSERT_TRUE(store.Save(kToken));  // not known: the file says nothing of it
    EXPECT_EQ(store.Load(), kToken);
    EXPECT_EQ(store.MonitorsAtChoice(), 0u);
    // A file of an earlier version, or one edited by hand, says nothing of the monitors.
    for (const char* after : {"\n", "\nthree\n", "\n-2\n", "\n99999999999999999999\n"}) {
        std::ofstream(store.Path(), std::ios::binary) << kToken << after;
        EXPECT_EQ(store.MonitorsAtChoice(), 0u) << after;
    }
    std::ofstream(store.Path(), std::ios::binary) << "not a token\n2\n";
    EXPECT_EQ(store.MonitorsAtChoice(), 0u);
}

TEST_F(RestoreTokenStoreTest, SaysFalseWhereItCannotWrite) {
    std::ofstream(root_ + "/file") << "x";
    EXPECT_FALSE(RestoreTokenStore(root_ + "/file/ruvello/token").Save(kToken));
    EXPECT_FALSE(RestoreTokenStore("token-without-folder").Save(kToken));
}

}  // namespace
}  // namespace ruvello
