// The Wayland flash's memory while the outputs change size: what it keeps between flashes is
// what the outputs of the last flash need, counted where it shows, at the compositor.
#include <gtest/gtest.h>

#include <cstdio>

#include "flash/flash_window_wayland.h"
#include "tests/wayland/wayland_client_rig.h"

namespace ruvello::wltest {
namespace {

constexpr std::size_t kFrame4k = std::size_t{3840} * 2160 * 4;

class FlashBuffers : public ::testing::Test {
  protected:
    // One flash as the manual screenshot plays it; the bytes of the buffers the client keeps.
    std::size_t Flash() {
        flash_.Load();
        flash_.SetAlpha(160);
        flash_.Show();
        flash_.Unload();
        return compositor_.Run([this] { return compositor_.ClientBufferBytes(); });
    }

    TestCompositor compositor_{{{"BIG", 0, 0, 3840, 2160, 0}}, {.copy = CopyProtocol::kNone}};
    WaylandClient client_{compositor_};
    WaylandFlashWindow flash_{*client_.connection, *client_.layout};
};

TEST_F(FlashBuffers, KeepsWhiteOnlyForTheSizesOfTheOutputsItLastCovered) {
    const std::size_t first = Flash();
    EXPECT_LE(first, kFrame4k + 4);  // the white picture and the clear pixel

    // The monitor turned upright: another 4K size.
    compositor_.Run([this] { compositor_.SetMode("BIG", 2160, 3840); });
    client_.Sync();
    const std::size_t second = Flash();
    std::printf(
        "flash buffers kept: %zu bytes after a flash at 3840x2160, %zu after one at "
        "2160x3840\n",
        first, second);
    EXPECT_LE(second, kFrame4k + 4);

    // Back again, and a second output: white for both, nothing more.
    compositor_.Run([this] {
        compositor_.SetMode("BIG", 3840, 2160);
        compositor_.AddOutput({"SMALL", 3840, 0, 1280, 1024, 0});
    });
    client_.Sync();
    EXPECT_LE(Flash(), kFrame4k + std::size_t{1280} * 1024 * 4 + 4);
}

}  // namespace
}  // namespace ruvello::wltest
