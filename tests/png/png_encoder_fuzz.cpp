// libFuzzer target: each input is read as an image shape, encoder options and pixel bytes; the
// file must decode to exactly those pixels. One encoder then takes the image again after a run of
// its rows changed, the same image twice and a smaller image cut from it: each file must be the
// one a fresh encoder writes for its pixels. The deflate walk also gets the raw input, which it
// must survive whatever it holds, and the run-length deflate compresses it, in room that
// suffices and in room that may not: zlib must inflate what it writes to the input.
//
// Long run, from a clang build dir:  tests/png/png_encoder_fuzz -max_total_time=3600 corpus/

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "png/deflate_join.h"
#include "png/deflate_runs.h"
#include "png/png_encoder.h"
#include "png_check.h"

namespace {

void CheckRuns(const std::uint8_t* data, std::size_t size, std::size_t room) {
    static ruvello::png::RunDeflater deflater;  // kept from input to input, as workers keep it
    std::vector<std::uint8_t> stream(room + 16, 0xAB);
    const std::size_t written = deflater.Compress(data, size, stream.data(), room);
    for (std::size_t i = room; i < stream.size(); ++i) {
        if (stream[i] != 0xAB) {
            std::fprintf(stderr, "run-length deflate wrote beyond its room\n");
            std::abort();
        }
    }
    if (written == 0) {
        if (room >= ruvello::png::RunDeflater::Bound(size)) {
            std::fprintf(stderr, "run-length deflate failed in room that suffices\n");
            std::abort();
        }
        return;
    }
    // An empty final block (fixed codes) ends the stream, as the encoder's file ends it.
    stream.resize(written);
    stream.insert(stream.end(), {0x03, 0x00});
    if (ruvello::pngtest::InflateRaw(stream, size) !=
        std::vector<std::uint8_t>(data, data + size)) {
        std::fprintf(stderr, "run-length deflate: %zu bytes do not inflate back\n", size);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ruvello;
    (void)png::FindFinalBlock({data, size});
    CheckRuns(data, size, png::RunDeflater::Bound(size));
    CheckRuns(data, size, size / 2 + (size > 0 ? data[0] : 0));
    if (size < 16) {
        return 0;
    }
    pngtest::TestImage image;
    image.width = 1 + (data[0] | data[1] << 8) % 600;
    image.height = 1 + (data[2] | data[3] << 8) % 300;
    image.stride = 4 * std::size_t(image.width) + data[4] % 16;
    image.bytes.resize(image.stride * std::size_t(image.height));
    const PngEncoderOptions options{.threads = 1 + data[5] % 3,
                                    .level = data[6] % 13,
                                    .filter = static_cast<PngFilterChoice>(data[7] % 4),
                                    .band_rows = 1 + data[8] % 40};
    for (std::size_t i = 0; i < image.bytes.size(); ++i) {
        image.bytes[i] = data[8 + i % (size - 8)];
    }

    PngEncoder encoder(options);
    const auto check = [&](const pngtest::TestImage& shot) {
        std::vector<std::uint8_t> file;
        encoder.Encode(shot.Rows(), file);
        std::vector<std::uint8_t> fresh;
        PngEncoder(options).Encode(shot.Rows(), fresh);
        const pngtest::Layout layout = pngtest::InspectLayout(file);
        const pngtest::Decoded decoded = pngtest::DecodeWithLibpng(file);
        if (!layout.error.empty() || !decoded.error.empty() ||
            decoded.rgb != pngtest::ExpectedRgb(shot.Rows()) || file != fresh) {
            std::fprintf(stderr, "%dx%d: layout '%s', libpng '%s', %s\n", shot.width, shot.height,
                         layout.error.c_str(), decoded.error.c_str(),
                         file == fresh ? "same as fresh" : "differs from a fresh encoder's");
            std::abort();
        }
    };
    check(image);
    // A run of rows changes, as a window redraws.
    const std::int32_t first = data[9] % image.height;
    const std::int32_t count = 1 + data[10] % (image.height - first);
    for (std::int32_t y = first; y < first + count; ++y) {
        for (std::size_t i = 0; i < 4 * std::size_t(image.width); i += 1 + data[11] % 7) {
            image.bytes[std::size_t(y) * image.stride + i] ^= data[12 + i % (size - 12)];
        }
    }
    check(image);
    check(image);
    // The screen shrinks: the top left part, with the same stride.
    pngtest::TestImage smaller = image;
    smaller.width = 1 + (image.width - 1) * data[13] / 255;
    smaller.height = 1 + (image.height - 1) * data[14] / 255;
    check(smaller);
    return 0;
}
