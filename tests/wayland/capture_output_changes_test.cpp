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

class CaptureWhileOutputsChange : public ::testing::TestWithParam<CopyProtocol> {
  protected:
    CaptureWhileOutputsChange() { capture_.GdiPlusStart(); }
    ~CaptureWhileOutputsChange() override { capture_.GdiPlusStop(); }

    pngtest::Decoded Shot() { return shots_.Take(); }

    void ExpectShows(const pngtest::Decoded& shot, const std::vector<OutputSpec>& outputs) {
        ASSERT_EQ(shot.error, "");
        std::int32_t width = 0, height = 0;
        const std::vector<std::uint8_t> expected = ExpectedScreen(outputs, {}, &width, &height);
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
    DecodedShots shots_{capture_};
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
        const std::string path = shots_.Path("failing.png");
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
