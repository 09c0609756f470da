// The direct capture while monitors come and go under it: against the test compositor, through
// both screen-copy protocols, every file the program writes decoded again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/wayland/screen_capture_wayland.h"
#include "tests/fakes/failing_allocations.h"
#include "tests/png/png_check.h"
#include "tests/wayland/wayland_client_rig.h"

namespace ruvello::wltest {
namespace {

const OutputSpec kLeft{"LEFT", 0, 0, 64, 48, 0xc04020};
const OutputSpec kRight{"RIGHT", 64, 0, 80, 60, 0x2080e0};

// The picture a shot of these outputs must give: each in its colour at its place, black between.
std::vector<std::uint8_t> Expected(const std::vector<OutputSpec>& outputs, std::int32_t* width,
                                   std::int32_t* height) {
    std::int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    for (const OutputSpec& o : outputs) {
        left = std::min(left, o.x);
        top = std::min(top, o.y);
        right = std::max(right, o.x + o.width);
        bottom = std::max(bottom, o.y + o.height);
    }
    *width = right - left;
    *height = bottom - top;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(*width * *height) * 3, 0);
    for (const OutputSpec& o : outputs) {
        for (std::int32_t y = o.y - top; y < o.y - top + o.height; ++y) {
            for (std::int32_t x = o.x - left; x < o.x - left + o.width; ++x) {
                const auto at = static_cast<std::size_t>(y * *width + x) * 3;
                rgb[at] = static_cast<std::uint8_t>(o.colour >> 16);
                rgb[at + 1] = static_cast<std::uint8_t>(o.colour >> 8);
                rgb[at + 2] = static_cast<std::uint8_t>(o.colour);
            }
        }
    }
    return rgb;
}

class CaptureWhileOutputsChange : public ::testing::TestWithParam<CopyProtocol> {
  protected:
    CaptureWhileOutputsChange() {
        char pattern[] = "/tmp/ruvello-wl-capture-XXXXXX";
        folder_ = mkdtemp(pattern);
        capture_.GdiPlusStart();
    }
    ~CaptureWhileOutputsChange() override {
        capture_.GdiPlusStop();
        std::filesystem::remove_all(folder_);
    }

    // One shot into a new file; the file decoded, or the reason there is none.
    pngtest::Decoded Shot() {
        const std::string path = folder_ + "/shot" + std::to_string(++shots_) + ".png";
        if (!capture_.CaptureScreenToPng(path)) {
            pngtest::Decoded failed;
            failed.error = "the shot failed";
            return failed;
        }
        std::ifstream file(path, std::ios::binary);
        return pngtest::DecodeWithLibpng(
            {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
    }

    void ExpectShows(const pngtest::Decoded& shot, const std::vector<OutputSpec>& outputs) {
        ASSERT_EQ(shot.error, "");
        std::int32_t width = 0, height = 0;
        const std::vector<std::uint8_t> expected = Expected(outputs, &width, &height);
        ASSERT_EQ(shot.width, width);
        ASSERT_EQ(shot.height, height);
        EXPECT_TRUE(shot.rgb == expected) << "the pixels differ from the outputs' pictures";
    }

    // The compositor removes `removed` right after it answered the copy of `copied`, once.
    void RemoveOnceCopied(std::string copied, std::string removed) {
        compositor_.Run([this, copied, removed] {
            compositor_.onCopied = [this, copied, removed](const std::string& output) {
                if (output == copied) {
                    compositor_.onCopied = nullptr;
                    compositor_.RemoveOutput(removed);
                }
            };
        });
    }

    TestCompositor compositor_{{kLeft, kRight}, {.copy = GetParam(), .layerShell = false}};
    WaylandClient client_{compositor_};
    WaylandScreenCapture capture_{*client_.connection, *client_.layout};
    std::string folder_;
    int shots_ = 0;
};

TEST_P(CaptureWhileOutputsChange, AnOutputRemovedAfterItsCopyLeavesThatShotAndTheNext) {
    ExpectShows(Shot(), {kLeft, kRight});

    // LEFT's copy is ready, then LEFT goes before RIGHT's copy is answered.
    RemoveOnceCopied("LEFT", "LEFT");
    ExpectShows(Shot(), {kRight});
    ExpectShows(Shot(), {kRight});

    compositor_.Run([this] { compositor_.AddOutput(kLeft); });
    ExpectShows(Shot(), {kLeft, kRight});
}

TEST_P(CaptureWhileOutputsChange, AnOutputRemovedWhileItsCopyRunsLeavesThatShot) {
    // LEFT's copy is ready; RIGHT goes while its copy waits, which fails it.
    RemoveOnceCopied("LEFT", "RIGHT");
    ExpectShows(Shot(), {kLeft});

    compositor_.Run([this] { compositor_.AddOutput(kRight); });
    ExpectShows(Shot(), {kLeft, kRight});
}

// Memory that runs out anywhere in a shot, also between the copies of two outputs, whose events
// would then point at freed jobs: that shot fails, the next one is whole.
TEST_P(CaptureWhileOutputsChange, AShotThatRunsOutOfMemoryFailsAloneAndTheNextOneIsWhole) {
    ExpectShows(Shot(), {kLeft, kRight});
    for (long nth = 1;; ++nth) {
        SCOPED_TRACE(nth);
        const std::string path = folder_ + "/failing.png";
        bool written = false, failed = false;
        {
            testing::FailingAllocations failing(nth,
                                                testing::FailingAllocations::Threads::kThisOne);
            written = capture_.CaptureScreenToPng(path);
            failed = failing.Failed();
        }
        std::filesystem::remove(path);
        ExpectShows(Shot(), {kLeft, kRight});
        if (!failed) {
            EXPECT_TRUE(written);
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, CaptureWhileOutputsChange,
                         ::testing::Values(CopyProtocol::kWlrScreencopy,
                                           CopyProtocol::kImageCopyCapture),
                         [](const auto& protocol) {
                             return protocol.param == CopyProtocol::kWlrScreencopy
                                        ? "WlrScreencopy"
                                        : "ImageCopyCapture";
                         });

}  // namespace
}  // namespace ruvello::wltest
