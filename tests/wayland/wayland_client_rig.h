#pragma once

#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "capture/screen_capture.h"
#include "platform/wayland/output_layout_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"
#include "tests/png/png_check.h"
#include "tests/wayland/test_compositor.h"

namespace ruvello::wltest {

// Generous for a loaded machine and a sanitized build; a test that passes waits far less.
constexpr int kLongWaitMs = 20000;

// The program's own connection and output layout, as the program makes them, on the test
// compositor's socket.
struct WaylandClient {
    explicit WaylandClient(TestCompositor& compositor) {
        unsetenv("WAYLAND_DISPLAY");
        compositor.ExportClientSocket();
        connection = std::make_unique<WaylandConnection>();
        layout = std::make_unique<WaylandOutputLayout>(*connection);
    }

    // Returns once the client has handled all the compositor sent, and the answers to what that
    // made it ask (the events of an output it bound).
    void Sync() {
        connection->Roundtrip(kLongWaitMs);
        connection->Roundtrip(kLongWaitMs);
    }

    std::unique_ptr<WaylandConnection> connection;
    std::unique_ptr<WaylandOutputLayout> layout;
};

// A rectangle of an output filled with one colour (TestCompositor::Paint), in the output's own
// pixels.
struct Painted {
    std::string output;
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    std::uint32_t colour = 0;  // 0xRRGGBB
};

// The picture (R, G, B) that a shot of these outputs must give, `width` by `height`: each in its
// colour at its place, painted over in order, black between them.
inline std::vector<std::uint8_t> ExpectedScreen(const std::vector<OutputSpec>& outputs,
                                                const std::vector<Painted>& painted,
                                                std::int32_t* width, std::int32_t* height) {
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
    const auto fill = [&](const OutputSpec& o, const Painted& p) {
        for (std::int32_t y = std::max(p.y, 0); y < std::min(p.y + p.height, o.height); ++y) {
            for (std::int32_t x = std::max(p.x, 0); x < std::min(p.x + p.width, o.width); ++x) {
                const auto at =
                    static_cast<std::size_t>((o.y - top + y) * *width + o.x - left + x) * 3;
                rgb[at] = static_cast<std::uint8_t>(p.colour >> 16);
                rgb[at + 1] = static_cast<std::uint8_t>(p.colour >> 8);
                rgb[at + 2] = static_cast<std::uint8_t>(p.colour);
            }
        }
    };
    for (const OutputSpec& o : outputs) {
        fill(o, {o.name, 0, 0, o.width, o.height, o.colour});
        for (const Painted& p : painted) {
            if (p.output == o.name) {
                fill(o, p);
            }
        }
    }
    return rgb;
}

// A capture's shots into new files of a folder of the test's own, decoded again.
class DecodedShots {
  public:
    explicit DecodedShots(ScreenCapture& capture) : capture_(capture) {
        char pattern[] = "/tmp/ruvello-wl-shots-XXXXXX";
        folder_ = mkdtemp(pattern);
    }
    ~DecodedShots() { std::filesystem::remove_all(folder_); }
    DecodedShots(const DecodedShots&) = delete;
    DecodedShots& operator=(const DecodedShots&) = delete;

    // One shot into a new file; the file decoded, or the reason there is none.
    pngtest::Decoded Take() {
        const std::string path = Path("shot" + std::to_string(++shots_) + ".png");
        if (!capture_.CaptureScreenToPng(path)) {
            pngtest::Decoded failed;
            failed.error = "the shot failed";
            return failed;
        }
        std::ifstream file(path, std::ios::binary);
        return pngtest::DecodeWithLibpng(
            {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
    }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  private:
    ScreenCapture& capture_;
    std::string folder_;
    int shots_ = 0;
};

}  // namespace ruvello::wltest
