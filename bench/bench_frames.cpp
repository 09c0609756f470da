#include "bench_frames.h"

#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace ruvello::bench {

std::string FramesDirectory() {
    const char* directory = std::getenv("RUVELLO_FRAMES_DIR");
    return directory ? directory : RUVELLO_FRAMES_DIR_DEFAULT;
}

BgrxFrame LoadBgrxFrame(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        throw std::runtime_error(path + ": " + image.message);
    }
    image.format = PNG_FORMAT_BGRA;
    BgrxFrame frame;
    frame.name = std::filesystem::path(path).stem().string();
    frame.width = static_cast<std::int32_t>(image.width);
    frame.height = static_cast<std::int32_t>(image.height);
    frame.stride = 4 * std::size_t{image.width};
    frame.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, frame.pixels.data(), 0, nullptr)) {
        throw std::runtime_error(path + ": " + image.message);
    }
    return frame;
}

const std::vector<BgrxFrame>& ReferenceFrames() {
    static const std::vector<BgrxFrame> frames = [] {
        std::vector<BgrxFrame> loaded;
        for (const char* name : {"desktop-1920x1080.png", "desktop-3840x2160.png"}) {
            loaded.push_back(LoadBgrxFrame(FramesDirectory() + "/" + name));
        }
        return loaded;
    }();
    return frames;
}

}  // namespace ruvello::bench
