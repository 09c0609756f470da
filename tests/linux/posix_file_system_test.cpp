#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/atomic_file_posix.h"
#include "platform/file_system_posix.h"
#include "platform/platform_error.h"

namespace ruvello {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ruvello-fs-XXXXXX";
        root_ = mkdtemp(pattern);
    }
    void TearDown() override {
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root_);
    }
    std::string Path(const std::string& name) const { return root_ + "/" + name; }
    void Write(const std::string& name, const std::string& content = "x") const {
        std::ofstream(Path(name), std::ios::binary) << content;
    }
    std::vector<std::string> Listed(const std::string& pattern, SearchFilter filter) {
        std::vector<std::string> names = files_.Search(Path(pattern), filter);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string root_;
    PosixFileSystem files_;
};

TEST_F(PosixFileSystemTest, ListsPngFilesRegardlessOfCaseButNoFoldersOrDotFiles) {
    Write("a.png");
    Write("B.PNG");
    Write(".hidden.png");
    Write("c.png.tmp");
    fs::create_directory(Path("dir.png"));
    fs::create_directory(Path("sub"));
    Write("sub/inner.png");
    EXPECT_EQ(Listed("*.png", SearchFilter::OrdinaryFiles),
              (std::vector<std::string>{"B.PNG", "a.png"}));
    EXPECT_EQ(Listed("*.png", SearchFilter::OrdinaryFilesAndFolders),
              (std::vector<std::string>{"B.PNG", "a.png", "dir.png"}));
    EXPECT_EQ(Listed("*.png", SearchFilter::AnyFile),
              (std::vector<std::string>{".hidden.png", "B.PNG", "a.png"}));
    EXPECT_TRUE(files_.Search(Path("gone/*.png"), SearchFilter::OrdinaryFiles).empty());
}

TEST_F(PosixFileSystemTest, RemovesOnlyALinkNeverWhatItPointsTo) {
    Write("outside.dat", "precious");
    fs::create_directory(Path("shots"));
    fs::create_symlink(Path("outside.dat"), Path("shots/x.png"));
    fs::create_symlink(Path("missing"), Path("shots/dangling.png"));
    EXPECT_EQ(Listed("shots/*.png", SearchFilter::OrdinaryFiles),
              std::vector<std::string>{"x.png"});
    files_.RemoveFile(Path("shots/x.png"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("shots/x.png"))));
    EXPECT_TRUE(fs::exists(Path("outside.dat")));
    fs::create_directory(Path("shots/dir.png"));
    EXPECT_THROW(files_.RemoveFile(Path("shots/dir.png")), PlatformError);
    EXPECT_TRUE(fs::is_directory(Path("shots/dir.png")));
}

TEST_F(PosixFileSystemTest, ReportsAVanishedFileAsNotFound) {
    try {
        files_.FileSize(Path("vanished.png"));
        FAIL() << "no failure";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.cause(), PlatformError::Cause::NotFound);
    }
    Write("five.png", "12345");
    EXPECT_EQ(files_.FileSize(Path("five.png")), 5);
    EXPECT_THROW(files_.LastModified(Path("nothing.png")), PlatformError);
}

TEST_F(PosixFileSystemTest, TellsFoldersFromFilesAndMakesOneLevel) {
    files_.MakeFolder(Path("one/"));
    EXPECT_TRUE(files_.Exists(Path("one/"), SearchFilter::OrdinaryFilesAndFolders));
    EXPECT_FALSE(files_.Exists(Path("one/"), SearchFilter::OrdinaryFiles));
    EXPECT_THROW(files_.MakeFolder(Path("two/three/")), PlatformError);
    Write(".config.ini");
    EXPECT_FALSE(files_.Exists(Path(".config.ini"), SearchFilter::OrdinaryFiles));
    EXPECT_TRUE(files_.Exists(Path(".config.ini"), SearchFilter::AnyFile));
}

TEST_F(PosixFileSystemTest, ReplacesAFileWholeKeepingItsModeAndRefusesAReadOnlyOne) {
    Write("config.ini", "old");
    chmod(Path("config.ini").c_str(), 0640);
    EXPECT_TRUE(files_.ReplaceWholeFile(Path("config.ini"), "new"));
    EXPECT_EQ(files_.ReadWholeFile(Path("config.ini")), "new");
    EXPECT_EQ(fs::status(Path("config.ini")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    chmod(Path("config.ini").c_str(), 0444);
    EXPECT_FALSE(files_.ReplaceWholeFile(Path("config.ini"), "lost"));
    EXPECT_EQ(files_.ReadWholeFile(Path("config.ini")), "new");
    EXPECT_FALSE(files_.ReplaceWholeFile(Path("missing/config.ini"), "x"));
    EXPECT_EQ(Listed("*", SearchFilter::AnyFile), std::vector<std::string>{"config.ini"});
}

TEST_F(PosixFileSystemTest, WritesThroughALinkedConfigFile) {
    Write("real.ini", "old");
    fs::create_symlink(Path("real.ini"), Path("config.ini"));
    EXPECT_TRUE(files_.ReplaceWholeFile(Path("config.ini"), "new"));
    EXPECT_TRUE(fs::is_symlink(Path("config.ini")));
    EXPECT_EQ(files_.ReadWholeFile(Path("real.ini")), "new");
}

TEST_F(PosixFileSystemTest, WritesScreenshotFilesAtomicallyOrNotAtAll) {
    const std::uint8_t bytes[] = {1, 2, 3};
    Write("shot.png", "previous");
    EXPECT_TRUE(WriteFileAtomically(Path("shot.png"), bytes, 3));
    EXPECT_EQ(files_.FileSize(Path("shot.png")), 3);
    EXPECT_FALSE(WriteFileAtomically(Path("missing/shot.png"), bytes, 3));
    EXPECT_EQ(Listed("*", SearchFilter::AnyFile),
              std::vector<std::string>{"shot.png"});  // no temporary left
}

// Screenshots, settings and the folders that hold them are the owner's alone, whatever the umask;
// what the user made keeps the mode the user gave it.
TEST_F(PosixFileSystemTest, MakesItsFilesAndFoldersPrivateUnderAnyUmaskAndKeepsTheUsers) {
    auto mode = [this](const std::string& name) {
        struct stat st {};
        EXPECT_EQ(stat(Path(name).c_str(), &st), 0) << name;
        return st.st_mode & 07777;
    };
    const std::uint8_t png[] = {1, 2, 3};
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}, mode_t{0}}) {
        SCOPED_TRACE(mask);
        const mode_t before = umask(mask);
        const std::string folder = "made-" + std::to_string(mask);
        files_.MakeFolder(Path(folder + "/"));
        ASSERT_TRUE(WriteFileAtomically(Path(folder + "/shot.png"), png, sizeof png));
        ASSERT_TRUE(files_.ReplaceWholeFile(Path(folder + "/config.ini"), "[Settings]\r\n"));
        fs::create_directory(Path("users-" + std::to_string(mask)));
        fs::permissions(Path("users-" + std::to_string(mask)), fs::perms(0755));
        files_.ReplaceWholeFile(Path("users-" + std::to_string(mask) + "/config.ini"), "x");
        Write("shared-" + std::to_string(mask) + ".ini");
        fs::permissions(Path("shared-" + std::to_string(mask) + ".ini"), fs::perms(0644));
        ASSERT_TRUE(files_.ReplaceWholeFile(Path("shared-" + std::to_string(mask) + ".ini"), "y"));
        EXPECT_EQ(umask(before), mask);  // nothing changed the process's umask meanwhile

        EXPECT_EQ(mode(folder), 0700u);
        EXPECT_EQ(mode(folder + "/shot.png"), 0600u);
        EXPECT_EQ(mode(folder + "/config.ini"), 0600u);
        EXPECT_EQ(mode("users-" + std::to_string(mask)), 0755u);
        EXPECT_EQ(mode("users-" + std::to_string(mask) + "/config.ini"), 0600u);
        EXPECT_EQ(mode("shared-" + std::to_string(mask) + ".ini"), 0644u);
    }
}

TEST_F(PosixFileSystemTest, RemovesOnlyTheTemporaryFilesOfRunsThatEnded) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    auto temporary = [](pid_t owner, const std::string& tail = "-Ab12Cd") {
        return ".ruvello-" + std::to_string(owner) + tail;
    };
    Write(temporary(child));
    Write(temporary(child, "-xyz789"));
    // Of this run and of one still going on, of no process, not made by mkstemp, not ours.
    std::vector<std::string> kept = {temporary(getpid()), temporary(getppid()),
                                     temporary(0),        temporary(child, "-longer1"),
                                     ".other-1-Ab12Cd",   "a.png"};
    for (const std::string& name : kept) {
        Write(name);
    }
    fs::create_directory(Path(temporary(child, "-folder")));
    kept.push_back(temporary(child, "-folder"));
    std::sort(kept.begin(), kept.end());
    files_.RemoveLeftoverTemporaries(root_);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(root_)) {
        left.push_back(entry.path().filename());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, kept);
    files_.RemoveLeftoverTemporaries(Path("missing"));
    // The program's own temporary files are named so.
    EXPECT_EQ(TemporaryPattern(root_ + "/"), root_ + "/" + temporary(getpid(), "-XXXXXX"));
}

TEST(Wildcards, MatchLikeTheShellRegardlessOfLetterCase) {
    EXPECT_TRUE(MatchesWildcard("*.png", "Screenshot_1.PNG"));
    EXPECT_TRUE(MatchesWildcard("*.png", ".png"));
    EXPECT_FALSE(MatchesWildcard("*.png", "a.png.bak"));
    EXPECT_TRUE(MatchesWildcard("a*b*c", "aXXbYYc"));
    EXPECT_FALSE(MatchesWildcard("a*b*c", "aXXbYY"));
    EXPECT_TRUE(MatchesWildcard("config.ini", "CONFIG.INI"));
    EXPECT_TRUE(MatchesWildcard("?.png", "x.png"));
}

}  // namespace
}  // namespace ruvello
