// Where the encoder's bytes go, frame by frame and band by band, against libpng at its defaults:
//
//   build/linux/bench/ruvello_png_bytes [--times=N] [--bands] frame.png...
//
// prints for each frame the encoder's file size and its ratio to libpng's (the simplified API at
// its defaults, as bench/png_libpng.cpp writes it). --times=N adds the process CPU time of one
// encoding with every band compressed anew (the median of N, both threads). --bands adds a CSV
// line for each band of 64 rows: the shares of zeros and of small residuals (+-1, +-2) among its
// filtered bytes (which choose its compressor) and the share of its rows sent raw, then what the
// band alone takes as a file of its own (less the file's fixed bytes), and what other compressors
// and filter choices take for it: the run-length deflate, libdeflate at levels 7 and 12, and zlib's
// filtered strategy with the encoder's two searches, on the rows filtered by the minimum sum
// ("sum"), by the least entropy ("ent") and as libpng chooses ("lp": the minimum sum without the
// raw row's discount).

#include <libdeflate.h>
#include <zlib.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "png/deflate_runs.h"
#include "png/png_encoder.h"
#include "png/png_filters.h"
#include "png_libpng.h"

namespace ruvello {
namespace {

using Bytes = std::vector<std::uint8_t>;

PixelRows Rows(const bench::BgrxFrame& frame) {
    return {frame.pixels.data(), frame.width, frame.height, frame.stride};
}

// zlib's filtered strategy at level 6 with deflateTune's `good`, `lazy`, `nice` and `chain`.
std::size_t Zlib(const Bytes& rows, const int (&tune)[4]) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 9, Z_FILTERED);
    deflateTune(&z, tune[0], tune[1], tune[2], tune[3]);
    Bytes out(deflateBound(&z, rows.size()) + 64);
    z.next_in = const_cast<std::uint8_t*>(rows.data());
    z.avail_in = static_cast<uInt>(rows.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_SYNC_FLUSH);
    const std::size_t size = z.total_out;
    deflateEnd(&z);
    return size;
}

// The encoder's searches (png_encoder.cpp): for text, and for a photograph beside text.
constexpr int kTextSearch[4] = {8, 16, 128, 8};
constexpr int kPhotoBesideTextSearch[4] = {258, 16, 128, 2};
constexpr int kLevel6[4] = {8, 16, 128, 128};

std::size_t Libdeflate(const Bytes& rows, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_deflate_compress_bound(c, rows.size()));
    const std::size_t size =
        libdeflate_deflate_compress(c, rows.data(), rows.size(), out.data(), out.size());
    libdeflate_free_compressor(c);
    return size + 5;  // the sync flush that lets the next band follow
}

std::size_t Runs(const Bytes& rows) {
    png::RunDeflater runs;
    Bytes out(png::RunDeflater::Bound(rows.size()));
    return runs.Compress(rows.data(), rows.size(), out.data(), out.size());
}

// Rows filtered as libpng chooses: the least sum of signed magnitudes, the raw row counted as the
// others.
Bytes LibpngRows(const PixelRows& image, std::int32_t first, std::int32_t count) {
    const png::RowKernels& k = png::BestKernels();
    const std::size_t n = 3 * static_cast<std::size_t>(image.width);
    Bytes above(3 + n + png::kRowSlack, 0);
    Bytes cur(3 + n + png::kRowSlack, 0);
    const auto rgb = [&](std::int32_t y, Bytes& to) {
        k.to_rgb(image.data + static_cast<std::size_t>(y) * image.stride, to.data() + 3,
                 std::size_t(image.width));
    };
    if (first > 0) {
        rgb(first - 1, above);
    }
    Bytes out;
    Bytes row(n);
    for (std::int32_t y = first; y < first + count; ++y) {
        rgb(y, cur);
        std::uint64_t costs[png::kFilterTypes];
        k.costs(cur.data() + 3, above.data() + 3, n, costs);
        const auto type = static_cast<png::FilterType>(
            std::min_element(costs, costs + png::kFilterTypes) - costs);
        k.apply(type, cur.data() + 3, above.data() + 3, n, row.data());
        out.push_back(type);
        out.insert(out.end(), row.begin(), row.end());
        std::swap(above, cur);
    }
    return out;
}

struct Shares {
    double zeros = 0;
    double small = 0;
    double raw_rows = 0;
};

// As the encoder counts them: among the bytes of the rows not sent raw.
Shares CountShares(const Bytes& rows, std::size_t row_bytes) {
    std::size_t zeros = 0;
    std::size_t small = 0;
    std::size_t filtered = 0;
    std::size_t raw = 0;
    for (std::size_t at = 0; at < rows.size(); at += row_bytes) {
        if (rows[at] == png::kNone) {
            ++raw;
            continue;
        }
        for (std::size_t i = at + 1; i < at + row_bytes; ++i) {
            zeros += rows[i] == 0;
            small += rows[i] != 0 && std::uint8_t(rows[i] + 2) <= 4;
        }
        filtered += row_bytes - 1;
    }
    const double all = double(std::max<std::size_t>(filtered, 1));
    return {filtered == 0 ? 1.0 : double(zeros) / all, double(small) / all,
            double(raw * row_bytes) / double(rows.size())};
}

void Bands(const bench::BgrxFrame& frame) {
    const PixelRows image = Rows(frame);
    const std::size_t row_bytes = png::FilteredRowBytes(frame.width);
    png::RowFilter filter;
    filter.Reserve(frame.width);
    std::printf(
        "frame,band,zeros,small,raw,ours,runs_sum,ld7_sum,ld7_ent,ld12_sum,ztext_sum,"
        "zphoto_ent,z6_lp\n");
    constexpr std::int32_t kRows = 64;
    for (std::int32_t first = 0; first < frame.height; first += kRows) {
        const std::int32_t count = std::min(kRows, frame.height - first);
        Bytes sum_rows(row_bytes * std::size_t(count));
        Bytes entropy_rows(sum_rows.size());
        filter.FilterRows(image, first, count, png::RowRule::kMinimumSum, sum_rows.data());
        filter.FilterRows(image, first, count, png::RowRule::kEntropy, entropy_rows.data());
        const PixelRows band{image.data + std::size_t(first) * image.stride, image.width, count,
                             image.stride};
        // Signature, IHDR, the zlib header and Adler-32, the final block, IDAT's and IEND's frames.
        const std::size_t ours = EncodePng(band).size() - 57;
        const Shares shares = CountShares(sum_rows, row_bytes);
        std::printf("%s,%d,%.4f,%.4f,%.4f,%zu,%zu,%zu,%zu,%zu,%zu,%zu,%zu\n", frame.name.c_str(),
                    first / kRows, shares.zeros, shares.small, shares.raw_rows, ours,
                    Runs(sum_rows), Libdeflate(sum_rows, 7), Libdeflate(entropy_rows, 7),
                    Libdeflate(sum_rows, 12), Zlib(sum_rows, kTextSearch),
                    Zlib(entropy_rows, kPhotoBesideTextSearch),
                    Zlib(LibpngRows(image, first, count), kLevel6));
    }
}

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// One encoder as the program keeps it, every band compressed anew each time.
double MedianCpuMs(const PixelRows& image, int times) {
    PngEncoder encoder({.reuse = false});
    std::vector<std::uint8_t> png;
    encoder.Encode(image, png);
    std::vector<double> ms;
    for (int i = 0; i < times; ++i) {
        const double start = CpuMs();
        encoder.Encode(image, png);
        ms.push_back(CpuMs() - start);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace
}  // namespace ruvello

int main(int argc, char** argv) {
    using namespace ruvello;
    bool bands = false;
    int times = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bands") == 0) {
            bands = true;
            continue;
        }
        if (std::strncmp(argv[i], "--times=", 8) == 0) {
            times = std::atoi(argv[i] + 8);
            continue;
        }
        const bench::BgrxFrame frame = bench::LoadBgrxFrame(argv[i]);
        const PixelRows image = Rows(frame);
        const std::size_t ours = EncodePng(image).size();
        std::vector<std::uint8_t> reference;
        EncodeWithLibpng({image.data, image.width, image.height, image.stride}, reference);
        std::printf("%-28s ours %9zu libpng %9zu ratio %.4f", frame.name.c_str(), ours,
                    reference.size(), double(ours) / double(reference.size()));
        if (times > 0) {
            std::printf(" CPU per encoding %.2f ms", MedianCpuMs(image, times));
        }
        std::printf("\n");
        if (bands) {
            Bands(frame);
        }
    }
}
