#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "png/png_filters.h"
#include "png/png_row_kernels.h"
#include "png_check.h"

namespace ruvello::png {
namespace {

// Rows of every width up to a few vectors (tails of every length), each of flat runs, ramps and
// noise, so that every filter type wins somewhere.
pngtest::TestImage MixedRows(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    pngtest::TestImage image{width, height, 4 * std::size_t(width) + 4, {}};
    image.bytes.resize(image.stride * std::size_t(height));
    std::mt19937 engine(seed);
    const auto random = [&engine] { return static_cast<std::uint32_t>(engine()); };
    for (std::int32_t y = 0; y < height; ++y) {
        const auto kind = std::uint32_t(y / 4) % 5;  // runs of rows of one kind
        std::uint8_t* row = image.bytes.data() + std::size_t(y) * image.stride;
        for (std::size_t i = 0; i < image.stride; ++i) {
            const auto x = static_cast<std::uint32_t>(i);
            // Kind 4 is the mean of its left and upper neighbours: Average's row.
            const std::uint32_t left = i >= 4 ? row[i - 4] : 0;
            const std::uint32_t value = kind == 0   ? 0x80
                                        : kind == 1 ? x * 3 + std::uint32_t(y)
                                        : kind == 2 ? random() % 8 + x / 4
                                        : kind == 3 ? random()
                                                    : (left + row[i - image.stride]) / 2;
            row[i] = static_cast<std::uint8_t>(value);
        }
    }
    return image;
}

// The AVX2 kernels must give exactly the bytes of the portable ones: the costs decide the filter
// choice, and a wrong filtered byte is a wrong pixel.
TEST(RowKernels, Avx2GivesThePortableResultForEveryTypeAndTail) {
    const RowKernels* avx2 = Avx2Kernels();
    if (!avx2) {
        GTEST_SKIP() << "no AVX2 on this processor";
    }
    const RowKernels& portable = PortableKernels();
    std::mt19937 random(11);
    for (std::size_t n = 1; n <= 200; ++n) {
        SCOPED_TRACE(std::to_string(n) + " bytes");
        // Three zero bytes in front, slack behind, as the filter's rows have them.
        std::vector<std::uint8_t> cur(3 + n + kRowSlack), above(3 + n + kRowSlack);
        for (std::size_t i = 3; i < 3 + n; ++i) {
            cur[i] = static_cast<std::uint8_t>(random());
            above[i] = static_cast<std::uint8_t>(i % 2 ? random() : 255 - cur[i]);
        }
        std::uint64_t costs[2][kFilterTypes];
        portable.costs(cur.data() + 3, above.data() + 3, n, costs[0]);
        avx2->costs(cur.data() + 3, above.data() + 3, n, costs[1]);
        for (int type = 0; type < kFilterTypes; ++type) {
            EXPECT_EQ(costs[0][type], costs[1][type]) << "type " << type;
            std::vector<std::uint8_t> out[2] = {std::vector<std::uint8_t>(n),
                                                std::vector<std::uint8_t>(n)};
            portable.apply(FilterType(type), cur.data() + 3, above.data() + 3, n, out[0].data());
            avx2->apply(FilterType(type), cur.data() + 3, above.data() + 3, n, out[1].data());
            EXPECT_EQ(out[0], out[1]) << "type " << type;
        }
    }
    for (const std::int32_t width : {1, 7, 8, 9, 31, 333}) {
        const pngtest::TestImage image = MixedRows(width, 40, 3);
        for (const RowRule rule : {RowRule::kMinimumSum, RowRule::kEntropy, RowRule::kPaeth}) {
            std::vector<std::uint8_t> rows[2];
            for (int k = 0; k < 2; ++k) {
                RowFilter filter(k == 0 ? portable : *avx2);
                filter.Reserve(width);
                rows[k].resize(FilteredRowBytes(width) * 40);
                filter.FilterRows(image.Rows(), 0, 40, rule, rows[k].data());
            }
            EXPECT_EQ(rows[0], rows[1]) << "width " << width << ", rule " << int(rule);
        }
    }
}

// Residuals of few values, however large, cost few bits; small ones of many values cost more.
// A row alternating in steps of 50 over a row above it that differs by noise: Sub leaves three
// large values, Up (and Paeth) small noise. The minimum sum takes Up, the least entropy Sub.
TEST(RowRule, EntropyPrefersFewDistinctResidualsWhereMinimumSumPrefersSmallOnes) {
    pngtest::TestImage image{64, 2, 4 * 64, {}};
    image.bytes.resize(image.stride * 2);
    std::mt19937 random(2);
    for (std::size_t x = 0; x < 64; ++x) {
        for (std::size_t c = 0; c < 3; ++c) {
            const auto value = static_cast<std::uint8_t>(50 * (x % 4) + 3);
            image.bytes[image.stride + 4 * x + c] = value;
            image.bytes[4 * x + c] = static_cast<std::uint8_t>(value - random() % 4);
        }
    }
    for (const RowKernels* kernels : {&PortableKernels(), &BestKernels()}) {
        RowFilter filter(*kernels);
        filter.Reserve(64);
        std::vector<std::uint8_t> rows(2 * FilteredRowBytes(64));
        filter.FilterRows(image.Rows(), 0, 2, RowRule::kMinimumSum, rows.data());
        EXPECT_EQ(rows[FilteredRowBytes(64)], kUp);
        filter.FilterRows(image.Rows(), 0, 2, RowRule::kEntropy, rows.data());
        EXPECT_EQ(rows[FilteredRowBytes(64)], kSub);
    }
}

// The portable kernels are the reference: every type they choose must decode (libpng) to the
// pixels, on the rows of every kind above.
TEST(RowKernels, EveryFilterTypeIsChosenAndDecodes) {
    const pngtest::TestImage image = MixedRows(301, 200, 5);
    std::vector<std::uint8_t> png;
    PngEncoder(PngEncoderOptions{.threads = 1}).Encode(image.Rows(), png);
    const pngtest::Layout layout = pngtest::InspectLayout(png);
    ASSERT_EQ(layout.error, "");
    for (int type = 0; type < kFilterTypes; ++type) {
        EXPECT_NE(std::count(layout.filter_types.begin(), layout.filter_types.end(), type), 0)
            << "type " << type << " never chosen";
    }
    const pngtest::Decoded decoded = pngtest::DecodeWithLibpng(png);
    ASSERT_EQ(decoded.error, "");
    EXPECT_TRUE(decoded.rgb == pngtest::ExpectedRgb(image.Rows()));
}

}  // namespace
}  // namespace ruvello::png
