#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ruvello::bench {

// A screen frame as the X11 grab delivers it: bytes B, G, R, X per pixel, rows `stride` apart.
struct BgrxFrame {
    std::string name;  // the file name without ".png", e.g. "desktop-1920x1080"
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> pixels;
};

// The folder of the reference desktop frames: $RUVELLO_FRAMES_DIR when set, else shared/bench
// beside the project folder.
std::string FramesDirectory();

// Decodes any PNG file with libpng into BGRX rows (X is 255). Throws std::runtime_error when
// the file cannot be read.
BgrxFrame LoadBgrxFrame(const std::string& path);

// desktop-1920x1080 and desktop-3840x2160 from FramesDirectory(), loaded on the first call.
const std::vector<BgrxFrame>& ReferenceFrames();

}  // namespace ruvello::bench
