#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "png/png_encoder.h"
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

}  // namespace
}  // namespace ruvello
