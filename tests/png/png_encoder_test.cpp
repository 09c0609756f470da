#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <zlib.h>

#include "png/png_encoder.h"
#include "png/png_filters.h"
#include "png_check.h"
#include "test_images.h"

namespace ruvello {
namespace {

using pngtest::Content;
using pngtest::MakeImage;
using pngtest::TestImage;

void SetGrey(TestImage& image, std::int32_t x, std::int32_t y, int value) {
    std::uint8_t* pixel = &image.bytes[std::size_t(y) * image.stride + 4 * std::size_t(x)];
    pixel[0] = pixel[1] = pixel[2] = static_cast<std::uint8_t>(value);
}

std::string Describe(const TestImage& image) {
    return std::to_string(image.width) + "x" + std::to_string(image.height) + " stride " +
           std::to_string(image.stride);
}

void ExpectDecodesTo(const std::vector<std::uint8_t>& png, const TestImage& image) {
    SCOPED_TRACE(Describe(image));
    EXPECT_EQ(pngtest::InspectLayout(png).error, "");
    const pngtest::Decoded decoded = pngtest::DecodeWithLibpng(png);
    ASSERT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.width, image.width);
    EXPECT_EQ(decoded.height, image.height);
    // Not EXPECT_EQ: a mismatch would print megabytes.
    EXPECT_TRUE(decoded.rgb == pngtest::ExpectedRgb(image.Rows())) << "the pixels differ";
}

std::vector<std::uint8_t> Encode(const TestImage& image, const PngEncoderOptions& options = {}) {
    std::vector<std::uint8_t> png;
    PngEncoder(options).Encode(image.Rows(), png);
    return png;
}

// Rows may also carry padding beyond their pixels (a stride above 4 * width).
TEST(PngRoundTrip, SmallThinAndOddShapesOfEveryContentAndStride) {
    const std::pair<std::int32_t, std::int32_t> shapes[] = {
        {1, 1}, {1, 2}, {2, 1}, {1, 1000}, {1000, 1}, {3, 3}, {17, 5}, {101, 33}, {255, 257}};
    for (const Content content : {Content::kRandom, Content::kFlat, Content::kGradient,
                                  Content::kDesktop, Content::kBands}) {
        for (const std::size_t padding : {0u, 3u, 100u}) {
            for (const auto& [width, height] : shapes) {
                const TestImage image = MakeImage(width, height, content, padding);
                ExpectDecodesTo(Encode(image), image);
            }
        }
    }
}

// Bands of 64 rows, the last one shorter, compressed in each of their ways.
TEST(PngRoundTrip, AroundTheBandSplits) {
    const std::pair<std::int32_t, std::int32_t> shapes[] = {{255, 63},   {255, 64},    {255, 65},
                                                            {100000, 3}, {16384, 129}, {1023, 999}};
    for (const Content content : {Content::kDesktop, Content::kRandom, Content::kBands}) {
        for (const int threads : {1, 2, 3, 8}) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            for (const auto& [width, height] : shapes) {
                const TestImage image = MakeImage(width, height, content, 0, 7);
                ExpectDecodesTo(Encode(image, {.threads = threads}), image);
            }
        }
    }
}

TEST(PngRoundTrip, LargeScreenInManyBands) {
    const TestImage image = MakeImage(4000, 2300, Content::kDesktop);  // 36 bands
    ExpectDecodesTo(Encode(image), image);
}

TEST(PngRoundTrip, EveryFilterChoiceAndLevel) {
    const TestImage image = MakeImage(300, 301, Content::kDesktop);
    for (const PngFilterChoice filter : {PngFilterChoice::kAdaptive, PngFilterChoice::kMinimumSum,
                                         PngFilterChoice::kEntropy, PngFilterChoice::kPaeth}) {
        for (const int threads : {1, 2}) {
            for (int level = 0; level <= 12; ++level) {
                SCOPED_TRACE(std::to_string(threads) + " threads, level " + std::to_string(level));
                ExpectDecodesTo(Encode(image, {threads, level, filter}), image);
            }
        }
    }
}

TEST(PngRoundTrip, IncompressibleImageSpansSeveralIdatChunks) {
    const TestImage image = MakeImage(1024, 512, Content::kRandom);
    const std::vector<std::uint8_t> png = Encode(image);
    ExpectDecodesTo(png, image);
    EXPECT_GE(pngtest::InspectLayout(png).idat_chunks, 2);
}

const TestImage& ReuseImage(int i) {
    static const TestImage images[] = {
        MakeImage(1200, 500, Content::kDesktop, 0, 1), MakeImage(7, 3, Content::kGradient, 4, 2),
        MakeImage(1200, 500, Content::kRandom, 0, 3), MakeImage(640, 480, Content::kDesktop, 8, 4)};
    return images[i % 4];
}

// Helper shares that run to their end before the calling thread starts its own: the order in
// which a thread left over from a larger image would do the most harm, made certain.
std::jthread RunAtOnce(std::function<void()> share) {
    share();
    return {};
}

// Large and small images in turn: a small one needs fewer threads than the large one before it,
// and no thread may work with what was readied for the large one.
TEST(PngEncoderReuse, ReusedEncoderAndBufferGiveTheSameFilesAsFreshOnes) {
    for (const bool helpers_first : {false, true}) {
        SCOPED_TRACE(helpers_first ? "helper shares first" : "helper threads");
        PngEncoder encoder({}, helpers_first ? RunAtOnce : PngEncoder::HelperStart{});
        std::vector<std::uint8_t> png = {1, 2, 3};  // replaced, not appended to
        for (int i = 0; i < 8; ++i) {
            encoder.Encode(ReuseImage(i).Rows(), png);
            ExpectDecodesTo(png, ReuseImage(i));
            EXPECT_TRUE(png == EncodePng(ReuseImage(i).Rows())) << Describe(ReuseImage(i));
        }
    }
}

// The bands depend on the image alone, and each is compressed on its own: which thread took
// which band cannot show in the file.
TEST(PngEncoderThreads, FileDoesNotDependOnTheNumberOfThreads) {
    const TestImage image = MakeImage(1500, 700, Content::kDesktop);
    const std::vector<std::uint8_t> one = Encode(image, {.threads = 1});
    for (const int threads : {2, 3, 4, 16}) {
        EXPECT_TRUE(Encode(image, {.threads = threads}) == one) << threads << " threads";
    }
}

// Sets the colour bytes of rows [first, first + count) to a pattern of `seed`.
void Repaint(TestImage& image, std::int32_t first, std::int32_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    for (std::int32_t y = first; y < first + count; ++y) {
        for (std::int32_t x = 0; x < image.width; x += 1 + std::int32_t(random() % 7)) {
            SetGrey(image, x, y, static_cast<int>(random() % 256));
        }
    }
}

// Each shot must give the file a fresh encoder gives for its pixels, whatever the encoder kept
// from the shots before: a changed band, a changed row just above a band (which the filters of
// the band's first row read), a change only in the unused fourth byte, the same frame again.
TEST(PngEncoderReuse, EveryShotIsTheFileOfItsPixelsAlone) {
    PngEncoder encoder({.band_rows = 16});
    const PngEncoder::HelperStart helpers_first = RunAtOnce;
    PngEncoder encoder_helpers_first({.band_rows = 16}, helpers_first);
    TestImage image = MakeImage(333, 100, Content::kBands, 12);
    const auto shoot = [&](const char* what) {
        SCOPED_TRACE(what);
        const std::vector<std::uint8_t> fresh = Encode(image, {.band_rows = 16});
        ExpectDecodesTo(fresh, image);
        for (PngEncoder* e : {&encoder, &encoder_helpers_first}) {
            std::vector<std::uint8_t> png;
            e->Encode(image.Rows(), png);
            EXPECT_TRUE(png == fresh);
        }
    };
    shoot("first");
    shoot("the same frame again");
    Repaint(image, 40, 3, 1);
    shoot("rows within the third band");
    Repaint(image, 47, 1, 2);
    shoot("the last row of the third band, read by the fourth");
    Repaint(image, 0, 1, 3);
    Repaint(image, 99, 1, 4);
    shoot("the first and the last row");
    image.bytes[std::size_t(20) * image.stride + 3] ^= 0xFF;
    shoot("the unused byte of one pixel");
    Repaint(image, 0, 100, 5);
    shoot("everything");
}

TEST(PngEncoderReuse, AKeptBandIsNeverUsedForAnotherScreenSize) {
    PngEncoder encoder({.band_rows = 16});
    std::vector<std::uint8_t> png;
    // Same rows with another width, the same first rows with another height, and back.
    const TestImage shapes[] = {
        MakeImage(200, 64, Content::kGradient), MakeImage(199, 64, Content::kGradient),
        MakeImage(200, 70, Content::kGradient), MakeImage(200, 60, Content::kGradient),
        MakeImage(200, 64, Content::kGradient)};
    for (const TestImage& image : shapes) {
        encoder.Encode(image.Rows(), png);
        ExpectDecodesTo(png, image);
        EXPECT_TRUE(png == Encode(image, {.band_rows = 16})) << Describe(image);
    }
}

// Reuse costs no bytes: the file with kept bands is the one that compresses every band anew.
TEST(PngEncoderReuse, ReuseOffGivesTheSameFile) {
    TestImage image = MakeImage(640, 300, Content::kDesktop);
    PngEncoder reusing;
    std::vector<std::uint8_t> png;
    reusing.Encode(image.Rows(), png);
    Repaint(image, 100, 30, 9);
    reusing.Encode(image.Rows(), png);
    EXPECT_TRUE(png == Encode(image, {.reuse = false}));
}

std::vector<std::uint8_t> FilterTypes(const TestImage& image,
                                      const PngEncoderOptions& options = {}) {
    return pngtest::InspectLayout(Encode(image, options)).filter_types;
}

// A ramp costs least as Sub, a repeated row as Up (which wins the tie with Paeth), and vertical
// stripes beside horizontal ones only as Paeth.
TEST(PngFilterChoice, MinimumSumPicksTheCheapestFilterOfEachRow) {
    TestImage ramps = MakeImage(200, 3, Content::kRandom);
    TestImage stripes = MakeImage(200, 3, Content::kRandom);
    std::mt19937 random(5);
    const int row_shade[] = {17, 99, 201};
    for (std::int32_t x = 0; x < 200; ++x) {
        SetGrey(ramps, x, 0, 2 * x);
        SetGrey(ramps, x, 1, 2 * x);
        SetGrey(ramps, x, 2, 5 * x);
        const int column_shade = static_cast<int>(random() % 256);
        for (std::int32_t y = 0; y < 3; ++y) {
            SetGrey(stripes, x, y, x < 100 ? column_shade : row_shade[y]);
        }
    }
    EXPECT_EQ(FilterTypes(ramps), (std::vector<std::uint8_t>{1, 2, 1}));
    const std::vector<std::uint8_t> striped = FilterTypes(stripes);
    ASSERT_EQ(striped.size(), 3u);
    EXPECT_EQ(striped[1], 4);
    EXPECT_EQ(striped[2], 4);
    EXPECT_EQ(FilterTypes(ramps, {.filter = PngFilterChoice::kPaeth}),
              (std::vector<std::uint8_t>{4, 4, 4}));
}

// Bands of 16 rows over rows of each kind the test image has: every way of compressing a band,
// with every filter choice and thread count, decodes to the pixels and gives one file.
TEST(PngRoundTrip, EveryKindOfBandWithEveryFilterChoice) {
    const TestImage image = MakeImage(333, 96, Content::kBands, 5, 3);
    for (const PngFilterChoice filter : {PngFilterChoice::kAdaptive, PngFilterChoice::kMinimumSum,
                                         PngFilterChoice::kEntropy, PngFilterChoice::kPaeth}) {
        SCOPED_TRACE("filter choice " + std::to_string(int(filter)));
        const std::vector<std::uint8_t> one =
            Encode(image, {.threads = 1, .filter = filter, .band_rows = 16});
        ExpectDecodesTo(one, image);
        EXPECT_TRUE(Encode(image, {.threads = 2, .filter = filter, .band_rows = 16}) == one);
    }
}

// What libpng writes at its defaults for the same rows: each row filtered by the least sum of
// signed magnitudes, the raw row counted as the others, and one zlib stream at level 6 with the
// filtered strategy. The bytes of that stream.
std::size_t LibpngStreamBytes(const PixelRows& image) {
    png::RowFilter filter;
    filter.Reserve(image.width);
    std::vector<std::uint8_t> rows(png::FilteredRowBytes(image.width) * std::size_t(image.height));
    filter.FilterRows(image, 0, image.height, png::RowRule::kPlainSum, rows.data());
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15, 8, Z_FILTERED);
    std::vector<std::uint8_t> out(deflateBound(&z, rows.size()));
    z.next_in = rows.data();
    z.avail_in = static_cast<uInt>(rows.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    deflateEnd(&z);
    return z.total_out;
}

// A photograph as a screen shows it, enlarged: a coarse random picture, smoothly interpolated
// (bilinear, each colour on its own), with a little noise. Beside it, from `text_from` on, dark
// glyphs on white in lines, smoothed at their edges.
TestImage PhotoAndText(std::int32_t width, std::int32_t height, std::int32_t text_from,
                       std::uint32_t seed) {
    std::mt19937 random(seed);
    constexpr std::int32_t kCell = 40;
    const std::int32_t cells_x = width / kCell + 2;
    std::vector<int> coarse(std::size_t(cells_x * (height / kCell + 2) * 3));
    for (int& v : coarse) {
        v = 40 + int(random() % 170);
    }
    TestImage image{width, height, 4 * std::size_t(width), {}};
    image.bytes.resize(image.stride * std::size_t(height));
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = &image.bytes[std::size_t(y) * image.stride + 4 * std::size_t(x)];
            const std::int32_t cx = x / kCell, cy = y / kCell, fx = x % kCell, fy = y % kCell;
            for (int c = 0; c < 3; ++c) {
                const auto at = [&](std::int32_t i, std::int32_t j) {
                    return coarse[std::size_t((j * cells_x + i) * 3 + c)];
                };
                const int top = at(cx, cy) * (kCell - fx) + at(cx + 1, cy) * fx;
                const int bottom = at(cx, cy + 1) * (kCell - fx) + at(cx + 1, cy + 1) * fx;
                const int smooth = (top * (kCell - fy) + bottom * fy) / (kCell * kCell);
                pixel[c] = static_cast<std::uint8_t>(smooth + int(random() % 6 == 0) -
                                                     int(random() % 6 == 0));
            }
            if (x >= text_from) {
                // Glyphs 7 pixels wide in lines of 14 rows, their edge pixels grey.
                const bool line = y % 14 >= 3 && y % 14 < 12;
                const std::uint32_t glyph = std::uint32_t(x / 8 * 31 + y / 14 * 17) % 11;
                const bool ink =
                    line && x % 8 < 7 && (glyph * 7 + std::uint32_t(x % 8 + y % 14)) % 5 < 2;
                const bool edge = line && x % 8 == 6;
                const std::uint8_t v = ink ? (edge ? 0x90 : 0x20) : 0xFF;
                pixel[0] = pixel[1] = pixel[2] = v;
            }
        }
    }
    return image;
}

// Rows that smooth photographs fill, wholly or beside text, go to compressors of their own; the
// file must stay within what libpng writes.
TEST(PngBytes, PhotographsAloneAndBesideTextTakeNoMoreThanLibpngsDefaults) {
    for (const std::int32_t text_from : {1200, 500}) {
        const TestImage image = PhotoAndText(1200, 256, text_from, 4);
        std::vector<std::uint8_t> png;
        PngEncoder().Encode(image.Rows(), png);
        ExpectDecodesTo(png, image);
        EXPECT_LE(png.size() - 57, LibpngStreamBytes(image.Rows()))  // one IDAT chunk
            << "text from x = " << text_from;
    }
}

}  // namespace
}  // namespace ruvello
