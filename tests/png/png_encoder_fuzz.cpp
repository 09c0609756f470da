// libFuzzer target: each input is read as an image shape, encoder options and pixel bytes; the
// file must decode to exactly those pixels. The deflate walk also gets the raw input, which it
// must survive whatever it holds.
//
// Long run, from a clang build dir:  tests/png/png_encoder_fuzz -max_total_time=3600 corpus/

#include <cstdio>
#include <cstdlib>

#include "capture/deflate_join.h"
#include "capture/png_encoder.h"
#include "png_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ruvello;
    (void)png::FindFinalBlock({data, size});
    if (size < 9) {
        return 0;
    }
    pngtest::TestImage image;
    image.width = 1 + (data[0] | data[1] << 8) % 600;
    image.height = 1 + (data[2] | data[3] << 8) % 300;
    image.stride = 4 * std::size_t(image.width) + data[4] % 16;
    image.bytes.resize(image.stride * std::size_t(image.height));
    const PngEncoderOptions options{
        .threads = 1 + data[5] % 3,
        .level = data[6] % 13,
        .filter = data[7] & 1 ? PngFilterChoice::kPaeth : PngFilterChoice::kMinimumSum};
    for (std::size_t i = 0; i < image.bytes.size(); ++i) {
        image.bytes[i] = data[8 + i % (size - 8)];
    }

    std::vector<std::uint8_t> file;
    PngEncoder(options).Encode(image.Rows(), file);
    const pngtest::Layout layout = pngtest::InspectLayout(file);
    const pngtest::Decoded decoded = pngtest::DecodeWithLibpng(file);
    if (!layout.error.empty() || !decoded.error.empty() ||
        decoded.rgb != pngtest::ExpectedRgb(image.Rows())) {
        std::fprintf(stderr, "%dx%d: layout '%s', libpng '%s'\n", image.width, image.height,
                     layout.error.c_str(), decoded.error.c_str());
        std::abort();
    }
    return 0;
}
