#pragma once

// The PNG encoder's one public header: pixels in, the bytes of a PNG file out. The rest of png/
// (filters, row kernels, the deflate of runs, the joining of streams) is its own business and
// included only by the encoder, its tests and its benchmarks.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace ruvello {

// A screen image as the X11 grab delivers it: 4 bytes a pixel, in memory B, G, R and an unused
// byte; rows `stride` bytes apart, top row first.
struct PixelRows {
    const std::uint8_t* data;
    std::int32_t width;   // >= 1
    std::int32_t height;  // >= 1
    std::size_t stride;   // >= 4 * width
};

// How each row's PNG filter is chosen.
enum class PngFilterChoice {
    // Per row by the minimum sum; in a band that mixes photo and text, also per row by the
    // least entropy, and the band is kept in whichever form compresses smaller.
    kAdaptive,
    kMinimumSum,  // per row, the one of the five filters with the smallest sum of |signed bytes|
    kEntropy,     // per row, the one whose bytes have the least entropy
    kPaeth,       // Paeth on every row
};

struct PngEncoderOptions {
    // Threads compressing at once, the calling one included.
    int threads = 2;
    // libdeflate's compression level, 0 to 12, for bands of sparse screen content and for the
    // text in bands that mix it with photo (photographic bands and dense text go elsewhere).
    int level = 7;
    PngFilterChoice filter = PngFilterChoice::kAdaptive;
    // Rows of a band: the unit that is compressed on its own and kept for reuse; 0 for the
    // default.
    int band_rows = 0;
    // Whether bands whose pixels did not change since the last Encode keep their bytes. Off,
    // every band is compressed anew; the file is the same either way.
    bool reuse = true;
};

// Writes 8-bit RGB PNG files (colour type 2). The image is cut into bands of rows, each compressed
// on its own; the encoder keeps each band's compressed bytes with a hash of its pixels and of the
// row above it, and the next Encode reuses those of the bands that did not change. The bands
// depend on the image's size alone, so that a file depends only on its pixels. Keep one encoder
// for a series of shots: it keeps its working memory (a few bands) and the bytes of the last
// file between calls.
class PngEncoder {
  public:
    // Runs a share of one Encode call beside the calling thread. The default starts a thread for
    // it; Encode joins what it returns before it returns itself, and takes over the share when
    // the start throws std::system_error.
    using HelperStart = std::function<std::jthread(std::function<void()> share)>;

    explicit PngEncoder(const PngEncoderOptions& options = {}, HelperStart start_helper = {});
    ~PngEncoder();
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    // Replaces the contents of `png` with the whole PNG file of `image`, reusing its capacity.
    // All threads it starts have ended when it returns. Throws std::bad_alloc only, whichever
    // thread ran out of memory; `png` is then as it was, and the next call writes the file a
    // fresh encoder writes.
    void Encode(const PixelRows& image, std::vector<std::uint8_t>& png);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// One-shot form of PngEncoder::Encode with the default options.
std::vector<std::uint8_t> EncodePng(const PixelRows& image);

}  // namespace ruvello
