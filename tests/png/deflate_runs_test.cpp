#include "png/deflate_runs.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "png_check.h"

namespace ruvello::png {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ZlibRle(const Bytes& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_RLE);
    Bytes out(deflateBound(&z, data.size()) + 16);
    z.next_in = const_cast<std::uint8_t*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_SYNC_FLUSH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

enum class Kind { kPhoto, kRandom, kOneByte, kShortRuns, kSkewed };

// Filtered photo rows (small residuals, now and then a run of zeros), noise that only stored
// blocks take, one byte throughout (runs of 258 one after another), runs of three and four
// bytes between literals, and byte counts growing like the Fibonacci numbers, whose Huffman
// code would be longer than deflate's 15 bits.
Bytes MakeData(Kind kind, std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data(size);
    switch (kind) {
        case Kind::kPhoto: {
            std::geometric_distribution<int> residual(0.15);
            for (std::size_t i = 0; i < size; ++i) {
                const int r = residual(random);
                data[i] = static_cast<std::uint8_t>(random() % 2 ? r : -r);
            }
            break;
        }
        case Kind::kRandom:
            std::generate(data.begin(), data.end(), [&] { return std::uint8_t(random()); });
            break;
        case Kind::kOneByte:
            std::fill(data.begin(), data.end(), std::uint8_t{0x5A});
            break;
        case Kind::kShortRuns:
            for (std::size_t i = 0; i < size;) {
                const std::size_t run = 1 + random() % 5;
                const auto byte = static_cast<std::uint8_t>(random() % 3);
                for (std::size_t k = 0; k < run && i < size; ++k) {
                    data[i++] = byte;
                }
            }
            break;
        case Kind::kSkewed: {
            std::size_t at = 0;
            for (std::size_t a = 1, b = 1, symbol = 0; at < size; ++symbol) {
                for (std::size_t k = 0; k < a && at < size; ++k) {
                    data[at++] = static_cast<std::uint8_t>(symbol % 256);
                }
                b = a + b;
                a = b - a;
            }
            std::shuffle(data.begin(), data.end(), random);
            break;
        }
    }
    return data;
}

// What follows a band's stream in the file: another stream, here libdeflate's, which ends.
Bytes FinalStream(const Bytes& data) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    Bytes out(libdeflate_deflate_compress_bound(compressor, data.size()));
    out.resize(
        libdeflate_deflate_compress(compressor, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
}

// One deflater for all inputs, large and small in turn, as an encoder's worker keeps it.
TEST(RunDeflater, StreamsOfEveryKindAndSizeLetTheNextStreamFollow) {
    RunDeflater deflater;
    const Bytes second = MakeData(Kind::kShortRuns, 500, 1);
    const Bytes second_stream = FinalStream(second);
    for (const Kind kind :
         {Kind::kPhoto, Kind::kRandom, Kind::kOneByte, Kind::kShortRuns, Kind::kSkewed}) {
        for (const std::size_t size : {0u, 1u, 2u, 3u, 4u, 5u, 300u, 65536u, 65539u, 400000u}) {
            SCOPED_TRACE("kind " + std::to_string(int(kind)) + ", " + std::to_string(size) +
                         " bytes");
            const Bytes first = MakeData(kind, size, std::uint32_t(size));
            Bytes stream(RunDeflater::Bound(size));
            stream.resize(deflater.Compress(first.data(), size, stream.data(), stream.size()));
            ASSERT_NE(stream.size(), 0u);
            EXPECT_TRUE(pngtest::InflateRaw(stream, size) == std::nullopt)
                << "must not end by itself";
            stream.insert(stream.end(), second_stream.begin(), second_stream.end());
            Bytes both = first;
            both.insert(both.end(), second.begin(), second.end());
            EXPECT_TRUE(pngtest::InflateRaw(stream, both.size()) == both);
        }
    }
}

// What it is for: as small as zlib's run-length coding on photographic rows, and no larger than
// stored blocks on noise.
TEST(RunDeflater, AsSmallAsZlibOnPhotosAndNeverMuchAboveTheInput) {
    RunDeflater deflater;
    const auto size_of = [&](const Bytes& data) {
        Bytes stream(RunDeflater::Bound(data.size()));
        return deflater.Compress(data.data(), data.size(), stream.data(), stream.size());
    };
    const Bytes photo = MakeData(Kind::kPhoto, 300000, 7);
    EXPECT_LE(double(size_of(photo)), 1.002 * double(ZlibRle(photo).size()));
    const Bytes noise = MakeData(Kind::kRandom, 300000, 7);
    EXPECT_LE(size_of(noise), noise.size() + noise.size() / 1000 + 16);
}

// Too little room gives 0, whatever the room, and nothing is written beyond it.
TEST(RunDeflater, TooLittleRoomGivesZeroAndNoWriteBeyondIt) {
    RunDeflater deflater;
    for (const Kind kind : {Kind::kPhoto, Kind::kRandom, Kind::kOneByte}) {
        const Bytes data = MakeData(kind, 70000, 3);
        Bytes full(RunDeflater::Bound(data.size()));
        full.resize(deflater.Compress(data.data(), data.size(), full.data(), full.size()));
        for (std::size_t room = 0; room < full.size() + 20;
             room += room < 40 ? 1 : std::max<std::size_t>(1, full.size() / 50)) {
            Bytes out(room + 64, 0xAB);
            const std::size_t size = deflater.Compress(data.data(), data.size(), out.data(), room);
            EXPECT_TRUE(std::all_of(out.begin() + std::ptrdiff_t(room), out.end(),
                                    [](std::uint8_t b) { return b == 0xAB; }))
                << "wrote beyond " << room << " bytes";
            if (size != 0) {
                EXPECT_LE(size, room);
                EXPECT_TRUE(Bytes(out.begin(), out.begin() + std::ptrdiff_t(size)) == full);
            }
        }
    }
}

}  // namespace
}  // namespace ruvello::png
