#include "png/deflate_join.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "png_check.h"

namespace ruvello::png {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Compress(const Bytes& data, int level) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_deflate_compress_bound(compressor, data.size()) + kContinuationBytes);
    out.resize(libdeflate_deflate_compress(compressor, data.data(), data.size(), out.data(),
                                           out.size() - kContinuationBytes));
    libdeflate_free_compressor(compressor);
    return out;
}

// zlib's own view: inflate with Z_BLOCK stops at every block boundary, the end of the last
// block included, and tells how many bits of the last byte it took are left.
FinalBlock BoundariesByZlib(const Bytes& stream, std::size_t size) {
    z_stream z{};
    inflateInit2(&z, -15);
    Bytes out(size + 1);
    z.next_in = const_cast<std::uint8_t*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    std::vector<std::size_t> boundaries = {0};
    while (inflate(&z, Z_BLOCK) == Z_OK) {
        if (z.data_type & 128) {
            boundaries.push_back(8 * std::size_t{z.total_in} - std::size_t(z.data_type & 7));
        }
    }
    inflateEnd(&z);
    if (boundaries.size() < 2) {
        return {0, 0};
    }
    return {boundaries[boundaries.size() - 2], boundaries.back()};
}

// Screen-like bytes: runs, repeats and some noise, so that every block type turns up.
Bytes MakeData(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint32_t r = random() % 16;
        data[i] = r < 8    ? 0
                  : r < 12 ? static_cast<std::uint8_t>(i / 97)
                           : static_cast<std::uint8_t>(random());
    }
    return data;
}

void ExpectSameBoundariesAsZlib(const Bytes& stream, std::size_t size) {
    const std::optional<FinalBlock> found = FindFinalBlock(stream);
    ASSERT_TRUE(found.has_value());
    const FinalBlock expected = BoundariesByZlib(stream, size);
    EXPECT_EQ(found->header_bit, expected.header_bit);
    EXPECT_EQ(found->end_bit, expected.end_bit);
    EXPECT_EQ((found->end_bit + 7) / 8, stream.size());
}

TEST(FindFinalBlock, AgreesWithZlibOnLibdeflateStreamsOfEveryLevel) {
    for (int level = 0; level <= 12; ++level) {
        for (const std::size_t size : {0u, 1u, 100u, 70000u, 1000000u}) {
            SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(size) + " bytes");
            const Bytes data =
                MakeData(size, static_cast<std::uint32_t>(size) + std::uint32_t(level));
            ExpectSameBoundariesAsZlib(Compress(data, level), size);
        }
    }
}

// zlib's strategies give fixed-code blocks, runs and many blocks that libdeflate rarely writes.
TEST(FindFinalBlock, AgreesWithZlibOnZlibStreamsOfEveryStrategy) {
    const Bytes data = MakeData(300000, 8);
    for (const int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        SCOPED_TRACE("strategy " + std::to_string(strategy));
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, strategy);
        Bytes stream(deflateBound(&z, data.size()) + 1000);
        z.next_in = const_cast<std::uint8_t*>(data.data());
        z.next_out = stream.data();
        z.avail_out = static_cast<uInt>(stream.size());
        for (std::size_t at = 0; at < data.size(); at += 70000) {  // a block boundary each time
            z.avail_in = static_cast<uInt>(std::min<std::size_t>(70000, data.size() - at));
            deflate(&z, at + 70000 >= data.size() ? Z_FINISH : Z_FULL_FLUSH);
        }
        stream.resize(z.total_out);
        deflateEnd(&z);
        ExpectSameBoundariesAsZlib(stream, data.size());
    }
}

TEST(FindFinalBlock, RejectsCutAndForeignStreams) {
    const Bytes stream = Compress(MakeData(50000, 3), 6);
    EXPECT_FALSE(FindFinalBlock({}).has_value());
    EXPECT_FALSE(FindFinalBlock(Bytes(stream.begin(), stream.end() - 1)).has_value());
    EXPECT_FALSE(FindFinalBlock(Bytes(stream.begin(), stream.begin() + 100)).has_value());
    EXPECT_FALSE(FindFinalBlock(Bytes{0x07}).has_value());  // block type 3 does not exist
    EXPECT_FALSE(FindFinalBlock(Bytes{0x01, 0x05, 0x00, 0x00, 0x00}).has_value());  // NLEN wrong
}

// The first stream's end can fall on any of the eight bit positions of its last byte; each needs
// its own form of the empty stored block that follows it.
TEST(MakeContinuable, JoinedStreamsInflateToBothInputsAtEveryEndBit) {
    std::set<std::size_t> end_bits_seen;
    const Bytes second = MakeData(3000, 99);
    const Bytes second_stream = Compress(second, 6);
    for (std::uint32_t seed = 0; seed < 200 && end_bits_seen.size() < 8; ++seed) {
        const Bytes first = MakeData(20 + seed * 37, seed);
        Bytes stream = Compress(first, seed % 2 ? 1 : 9);
        const std::optional<FinalBlock> found = FindFinalBlock(stream);
        ASSERT_TRUE(found.has_value());
        end_bits_seen.insert(found->end_bit % 8);
        stream.resize(stream.size() + kContinuationBytes);
        stream.resize(MakeContinuable(stream.data(), *found));
        EXPECT_TRUE(pngtest::InflateRaw(stream, first.size()) == std::nullopt)
            << "no longer ends by itself";
        stream.insert(stream.end(), second_stream.begin(), second_stream.end());
        Bytes both = first;
        both.insert(both.end(), second.begin(), second.end());
        EXPECT_TRUE(pngtest::InflateRaw(stream, both.size()) == both) << "seed " << seed;
    }
    EXPECT_EQ(end_bits_seen.size(), 8u);
}

TEST(StoreContinuable, StoredBlocksOfAnySizeLetTheNextStreamFollow) {
    const Bytes second = MakeData(1000, 5);
    const Bytes second_stream = Compress(second, 6);
    for (const std::size_t size : {0u, 1u, 65535u, 65536u, 200000u}) {
        const Bytes first = MakeData(size, 6);
        Bytes stream(StoredBytes(size));
        stream.resize(StoreContinuable(first.data(), size, stream.data()));
        EXPECT_LE(stream.size(), StoredBytes(size));
        stream.insert(stream.end(), second_stream.begin(), second_stream.end());
        Bytes both = first;
        both.insert(both.end(), second.begin(), second.end());
        EXPECT_TRUE(pngtest::InflateRaw(stream, both.size()) == both) << size << " bytes";
    }
}

}  // namespace
}  // namespace ruvello::png
