// The direct capture copies only outputs that changed, where the compositor reports changes
// (wlr-screencopy's copies with damage): against the test compositor, which keeps wlroots'
// record of changes, every file the program writes decoded again and held against what the
// outputs show.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "capture/wayland/screen_capture_wayland.h"
#include "tests/fakes/failing_allocations.h"
#include "tests/png/png_check.h"
#include "tests/wayland/wayland_client_rig.h"

namespace ruvello::wltest {
namespace {

const OutputSpec kLeft{"LEFT", 0, 0, 64, 48, 0xc04020};
const OutputSpec kRight{"RIGHT", 64, 0, 80, 160, 0x2080e0};

// What the outputs show, as the tests painted them: the picture a shot must give.
class Screen {
  public:
    explicit Screen(std::vector<OutputSpec> outputs) : outputs_(std::move(outputs)) {}

    void Paint(TestCompositor& compositor, const Painted& painted) {
        compositor.Run([&] {
            compositor.Paint(painted.output, painted.x, painted.y, painted.width, painted.height,
                             painted.colour);
        });
        Record(painted);
    }
    // A paint the compositor made by itself.
    void Record(const Painted& painted) { painted_.push_back(painted); }
    void Add(const OutputSpec& output) { outputs_.push_back(output); }
    void SetMode(const std::string& name, std::int32_t width, std::int32_t height) {
        for (OutputSpec& o : outputs_) {
            if (o.name == name) {
                o.width = width;
                o.height = height;
            }
        }
        std::erase_if(painted_, [&](const Painted& p) { return p.output == name; });
    }

    void ExpectShown(const pngtest::Decoded& shot) const {
        ASSERT_EQ(shot.error, "");
        std::int32_t width = 0, height = 0;
        const std::vector<std::uint8_t> expected =
            ExpectedScreen(outputs_, painted_, &width, &height);
        ASSERT_EQ(shot.width, width);
        ASSERT_EQ(shot.height, height);
        EXPECT_TRUE(shot.rgb == expected) << "the pixels differ from what the outputs show";
    }

  private:
    std::vector<OutputSpec> outputs_;
    std::vector<Painted> painted_;  // a new mode shows the output's colour again
};

class CaptureChangesOnly : public ::testing::Test {
  protected:
    explicit CaptureChangesOnly(std::vector<OutputSpec> outputs = {kLeft, kRight},
                                std::uint32_t version = 3)
        : compositor_(outputs, {.screencopyVersion = version, .layerShell = false}),
          screen_(outputs) {
        capture_.GdiPlusStart();
    }
    ~CaptureChangesOnly() override { capture_.GdiPlusStop(); }

    pngtest::Decoded Shot() { return shots_.Take(); }

    std::pair<int, int> WholeCopies() {
        return {compositor_.WholeCopies("LEFT"), compositor_.WholeCopies("RIGHT")};
    }

    TestCompositor compositor_;
    Screen screen_;
    WaylandClient client_{compositor_};
    WaylandScreenCapture capture_{*client_.connection, *client_.layout};
    DecodedShots shots_{capture_};
};

TEST_F(CaptureChangesOnly, OnlyTheOutputThatChangedIsCopiedAgain) {
    screen_.ExpectShown(Shot());
    EXPECT_EQ(WholeCopies(), std::make_pair(1, 1));

    screen_.ExpectShown(Shot());
    EXPECT_EQ(WholeCopies(), std::make_pair(1, 1)) << "nothing changed, nothing copied";

    screen_.Paint(compositor_, {"RIGHT", 10, 100, 30, 20, 0x00ff00});
    screen_.ExpectShown(Shot());
    EXPECT_EQ(WholeCopies(), std::make_pair(1, 2));

    screen_.Paint(compositor_, {"LEFT", 0, 0, 5, 5, 0xffffff});
    screen_.Paint(compositor_, {"RIGHT", 70, 150, 20, 20, 0x000080});  // partly outside
    screen_.ExpectShown(Shot());
    screen_.ExpectShown(Shot());
    EXPECT_EQ(WholeCopies(), std::make_pair(2, 3));
}

// The compositor makes the copy after all, with the change it was waiting for, just before it
// reads that the program cancelled it: the program never hears of that copy, and the compositor
// does not report that change again.
TEST_F(CaptureChangesOnly, ACopyMadeJustAsTheProgramCancelsItStillCounts) {
    screen_.ExpectShown(Shot());
    compositor_.Run([this] {
        compositor_.onCancelled = [this](const std::string& output) {
            if (output == "LEFT") {
                compositor_.onCancelled = nullptr;
                compositor_.Paint("LEFT", 20, 10, 8, 8, 0xffff00);
            }
        };
    });
    screen_.Record({"LEFT", 20, 10, 8, 8, 0xffff00});
    screen_.ExpectShown(Shot());
    screen_.ExpectShown(Shot());
}

// Outputs that did not change come without pixels where the program's image holds them; when
// the image must be drawn anew (a monitor came, another changed its mode), they are copied.
TEST_F(CaptureChangesOnly, AMonitorThatComesOrAModeThatChangesGetsEveryOutputCopiedAgain) {
    screen_.Paint(compositor_, {"LEFT", 1, 1, 10, 10, 0x123456});
    screen_.ExpectShown(Shot());
    screen_.ExpectShown(Shot());  // still: the buffers' memory is given back

    const OutputSpec below{"BELOW", 0, 160, 32, 16, 0x808000};
    compositor_.Run([&] { compositor_.AddOutput(below); });
    screen_.Add(below);
    client_.Sync();
    screen_.ExpectShown(Shot());
    screen_.ExpectShown(Shot());

    compositor_.Run([this] { compositor_.SetMode("RIGHT", 40, 40); });
    screen_.SetMode("RIGHT", 40, 40);
    client_.Sync();
    screen_.ExpectShown(Shot());
    screen_.Paint(compositor_, {"RIGHT", 0, 0, 40, 2, 0xff0000});
    screen_.ExpectShown(Shot());
}

// A shot that runs out of memory after the compositor reported a change (and so counts it as
// known) fails alone: the next shot shows the change.
TEST_F(CaptureChangesOnly, AChangeReportedToAShotThatFailedShowsInTheNext) {
    screen_.ExpectShown(Shot());
    for (long nth = 1;; ++nth) {
        SCOPED_TRACE(nth);
        screen_.Paint(compositor_, {"LEFT", 0, static_cast<std::int32_t>(nth % 40), 64, 2,
                                    static_cast<std::uint32_t>(0x010203 * nth)});
        const std::string path = shots_.Path("failing.png");
        bool failed = false;
        {
            testing::FailingAllocations failing(nth,
                                                testing::FailingAllocations::Threads::kThisOne);
            capture_.CaptureScreenToPng(path);
            failed = failing.Failed();
        }
        std::filesystem::remove(path);
        screen_.ExpectShown(Shot());
        if (!failed) {
            break;
        }
    }
}

class OneOutput : public CaptureChangesOnly {
  protected:
    OneOutput() : CaptureChangesOnly({kRight}) {}
};

// The only output's buffer is the image itself: no copy when it did not change, and no image
// of the program's own.
TEST_F(OneOutput, TheOnlyOutputIsCopiedWhenItChanged) {
    screen_.ExpectShown(Shot());
    screen_.ExpectShown(Shot());
    EXPECT_EQ(compositor_.WholeCopies("RIGHT"), 1);
    screen_.Paint(compositor_, {"RIGHT", 5, 5, 5, 5, 0x00ffff});
    screen_.ExpectShown(Shot());
    EXPECT_EQ(compositor_.WholeCopies("RIGHT"), 2);
}

class FirstScreencopyVersion : public CaptureChangesOnly {
  protected:
    FirstScreencopyVersion() : CaptureChangesOnly({kLeft, kRight}, 1) {}
};

// Before copies with damage (version 2), every output is copied whole at every shot.
TEST_F(FirstScreencopyVersion, EveryOutputIsCopiedAtEveryShot) {
    screen_.ExpectShown(Shot());
    screen_.ExpectShown(Shot());
    screen_.Paint(compositor_, {"RIGHT", 0, 0, 80, 80, 0x102030});
    screen_.ExpectShown(Shot());
    EXPECT_EQ(WholeCopies(), std::make_pair(3, 3));
}

}  // namespace
}  // namespace ruvello::wltest
