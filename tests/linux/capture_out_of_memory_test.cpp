#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "capture/png_file_writer.h"
#include "capture/x11/screen_capture_x11.h"
#include "fakes/failing_allocations.h"
#include "scoped_env.h"

namespace ruvello {
namespace {

namespace fs = std::filesystem;
using testing::FailingAllocations;

// A folder of its own for the files a test writes.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/ruvello-oom-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempFolder() { fs::remove_all(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    // Every name in the folder, hidden temporary files included.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

  private:
    std::string path_;
};

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Runs `shot` with the nth allocation of this thread failing. Whatever failed, it must have said
// so by a false result, leaving no file, not even a temporary one.
template <class Shot>
bool ShootFailing(long nth, const TempFolder& folder, Shot&& shot) {
    bool written = false;
    bool failed = false;
    {
        FailingAllocations failing(nth, FailingAllocations::Threads::kThisOne);
        written = shot();
        failed = failing.Failed();
    }
    EXPECT_EQ(written, !failed);
    EXPECT_EQ(folder.Names(),
              written ? std::vector<std::string>{"shot.png"} : std::vector<std::string>{});
    return failed;
}

// The pixels of a test image of 50x40, varied by `seed`.
std::vector<std::uint8_t> Pixels(int seed) {
    std::vector<std::uint8_t> pixels(4 * 50 * 40);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i * 7 / 5 + static_cast<std::size_t>(seed));
    }
    return pixels;
}

TEST(PngFileWriterOutOfMemory, EveryFailedAllocationIsAFalseResultWithNoFileLeft) {
    const std::vector<std::uint8_t> pixels = Pixels(0);
    const PixelRows image{pixels.data(), 50, 40, 4 * 50};
    const std::vector<std::uint8_t> expected = EncodePng(image);
    TempFolder folder;
    const std::string path = folder.Path("shot.png");
    bool failed = true;
    for (long nth = 1; failed; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        fs::remove(path);
        PngFileWriter writer;
        failed = ShootFailing(nth, folder, [&] { return writer.Write(image, path); });
        ASSERT_TRUE(writer.Write(image, path));
        ASSERT_EQ(ReadFile(path), expected);
    }
}

// An image said to hold the last image's pixels is written as the last file, without encoding:
// the writer takes the caller's word for it.
TEST(PngFileWriter, AnImageSaidToBeUnchangedGetsTheLastFileAgain) {
    const std::vector<std::uint8_t> first = Pixels(0), second = Pixels(1);
    TempFolder folder;
    PngFileWriter writer;
    ASSERT_TRUE(writer.Write({first.data(), 50, 40, 4 * 50}, folder.Path("1.png")));
    ASSERT_TRUE(writer.Write({second.data(), 50, 40, 4 * 50}, folder.Path("2.png"), true));
    EXPECT_EQ(ReadFile(folder.Path("2.png")), EncodePng({first.data(), 50, 40, 4 * 50}));
}

// After a shot that ran out of memory, the writer's last file may not be its last image's: an
// image said to be unchanged since that shot is encoded, wherever the memory ran out.
TEST(PngFileWriterOutOfMemory, AnUnchangedImageAfterAFailedShotIsItsOwnFile) {
    const std::vector<std::uint8_t> first = Pixels(0), second = Pixels(1);
    const PixelRows before{first.data(), 50, 40, 4 * 50}, after{second.data(), 50, 40, 4 * 50};
    const std::vector<std::uint8_t> expected = EncodePng(after);
    TempFolder folder;
    const std::string path = folder.Path("shot.png");
    bool failed = true;
    for (long nth = 1; failed; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        PngFileWriter writer;
        ASSERT_TRUE(writer.Write(before, path));
        fs::remove(path);
        failed = ShootFailing(nth, folder, [&] { return writer.Write(after, path); });
        ASSERT_TRUE(writer.Write(after, path, true));
        ASSERT_EQ(ReadFile(path), expected);
        fs::remove(path);
    }
}

// A private X server for one test, of 16 bits a pixel: its screen is converted to BGRX in memory
// before it is encoded. It keeps running between clients (-noreset), since each capture below
// has a connection of its own. Empty display() when there is no Xvfb.
class PrivateXServer {
  public:
    PrivateXServer() {
        int pipe_ends[2];
        if (pipe(pipe_ends) != 0) {
            return;
        }
        const std::string fd = std::to_string(pipe_ends[1]);
        pid_ = fork();
        if (pid_ == 0) {
            close(pipe_ends[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "64x48x16",
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipe_ends[1]);
        std::string number;
        char c;
        while (pid_ > 0 && read(pipe_ends[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(pipe_ends[0]);
        if (!number.empty()) {
            display_ = ":" + number;
        }
    }
    ~PrivateXServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

class X11CaptureOutOfMemory : public ::testing::Test {
  protected:
    void SetUp() override {
        if (server_.display().empty()) {
            GTEST_SKIP() << "no Xvfb to grab";
        }
        display_.emplace("DISPLAY", server_.display().c_str());
    }

    PrivateXServer server_;
    std::optional<ScopedEnv> display_;
    TempFolder folder_;
};

TEST_F(X11CaptureOutOfMemory, EveryFailedAllocationOfAShotIsAFalseResult) {
    const std::string path = folder_.Path("shot.png");
    std::vector<std::uint8_t> expected;
    {
        X11ScreenCapture capture;
        capture.GdiPlusStart();
        ASSERT_TRUE(capture.CaptureScreenToPng(path));
        expected = ReadFile(path);
    }
    bool failed = true;
    for (long nth = 1; failed; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        fs::remove(path);
        X11ScreenCapture capture;
        capture.GdiPlusStart();
        failed = ShootFailing(nth, folder_, [&] { return capture.CaptureScreenToPng(path); });
        ASSERT_TRUE(capture.CaptureScreenToPng(path));
        ASSERT_EQ(ReadFile(path), expected);
    }
}

// A start that ran out of memory passes the failure on and starts nothing; the next start works.
TEST_F(X11CaptureOutOfMemory, AStartThatFailedCanBeMadeAgain) {
    const std::string path = folder_.Path("shot.png");
    bool failed = true;
    for (long nth = 1; failed; ++nth) {
        SCOPED_TRACE("allocation " + std::to_string(nth));
        X11ScreenCapture capture;
        bool threw = false;
        {
            FailingAllocations failing(nth, FailingAllocations::Threads::kThisOne);
            try {
                capture.GdiPlusStart();
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            failed = failing.Failed();
        }
        ASSERT_EQ(threw, failed);
        EXPECT_EQ(capture.CaptureScreenToPng(path), !failed);
        capture.GdiPlusStart();
        EXPECT_TRUE(capture.CaptureScreenToPng(path));
    }
}

}  // namespace
}  // namespace ruvello
