#include "capture/output_compose.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace ruvello {
namespace {

using Bgr = std::array<std::uint8_t, 3>;

// A stored buffer whose every pixel tells where it is: B = x, G = y, R = a tag per output.
struct Buffer {
    std::int32_t width, height;
    std::size_t stride;
    std::vector<std::uint8_t> bytes;

    Buffer(std::int32_t w, std::int32_t h, std::uint8_t tag, PixelOrder order = PixelOrder::kBgrx,
           std::size_t padding = 0)
        : width(w),
          height(h),
          stride(4 * static_cast<std::size_t>(w) + padding),
          bytes(stride * static_cast<std::size_t>(h), 0xEE) {
        for (std::int32_t y = 0; y < h; ++y) {
            for (std::int32_t x = 0; x < w; ++x) {
                std::uint8_t* p = &bytes[y * stride + 4 * x];
                const Bgr bgr{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), tag};
                p[0] = order == PixelOrder::kBgrx ? bgr[0] : bgr[2];
                p[1] = bgr[1];
                p[2] = order == PixelOrder::kBgrx ? bgr[2] : bgr[0];
                p[3] = 0x7F;  // alpha or padding: ignored
            }
        }
    }

    OutputPicture At(std::int32_t x, std::int32_t y, std::int32_t logicalWidth,
                     std::int32_t logicalHeight) const {
        OutputPicture picture;
        picture.place = {x, y, logicalWidth, logicalHeight};
        picture.data = bytes.data();
        picture.width = width;
        picture.height = height;
        picture.stride = stride;
        return picture;
    }
    OutputPicture At(std::int32_t x, std::int32_t y) const { return At(x, y, width, height); }
};

Bgr PixelAt(const PixelRows& image, std::int32_t x, std::int32_t y) {
    const std::uint8_t* p = image.data + y * image.stride + 4 * x;
    return {p[0], p[1], p[2]};
}

constexpr Bgr kBlack{0, 0, 0};

Bgr Tagged(std::int32_t x, std::int32_t y, std::uint8_t tag) {
    return {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), tag};
}

TEST(OutputCompose, OutputsOfDifferentSizesFillTheirPlacesAndTheGapStaysBlack) {
    const Buffer left(6, 4, 1), right(3, 2, 2, PixelOrder::kBgrx, 8);
    OutputComposer composer;
    // The composer's canvas is reused: a second run must not keep the first run's pixels in gaps.
    const Buffer earlier(9, 4, 9), extra(1, 1, 9);
    ASSERT_TRUE(composer.Compose(std::array{earlier.At(0, 0), extra.At(9, 0)}));

    const std::array pictures{left.At(0, 0), right.At(6, 1)};
    const auto image = composer.Compose(pictures);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 9);
    EXPECT_EQ(image->height, 4);
    EXPECT_EQ(PixelAt(*image, 0, 0), Tagged(0, 0, 1));
    EXPECT_EQ(PixelAt(*image, 5, 3), Tagged(5, 3, 1));
    EXPECT_EQ(PixelAt(*image, 6, 1), Tagged(0, 0, 2));
    EXPECT_EQ(PixelAt(*image, 8, 2), Tagged(2, 1, 2));
    for (const auto& [x, y] : {std::pair{6, 0}, {8, 0}, {6, 3}, {8, 3}}) {
        EXPECT_EQ(PixelAt(*image, x, y), kBlack) << x << "," << y;
    }
}

TEST(OutputCompose, NegativePositionsStartTheImageAtTheLeftmostAndTopmostOutput) {
    const Buffer primary(4, 4, 1), leftAbove(2, 3, 2);
    const std::array pictures{primary.At(0, 0), leftAbove.At(-2, -1)};
    EXPECT_EQ(BoundingRect(pictures).x, -2);
    OutputComposer composer;
    const auto image = composer.Compose(pictures);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 6);
    EXPECT_EQ(image->height, 5);
    EXPECT_EQ(PixelAt(*image, 0, 0), Tagged(0, 0, 2));
    EXPECT_EQ(PixelAt(*image, 1, 2), Tagged(1, 2, 2));
    EXPECT_EQ(PixelAt(*image, 2, 1), Tagged(0, 0, 1));
    EXPECT_EQ(PixelAt(*image, 0, 3), kBlack);
    EXPECT_EQ(PixelAt(*image, 2, 0), kBlack);
}

TEST(OutputCompose, RgbxAndYInvertedBuffersComeOutUprightInBgrx) {
    const Buffer rgbx(3, 3, 5, PixelOrder::kRgbx), bgrx(3, 3, 6);
    OutputPicture inverted = rgbx.At(0, 0);
    inverted.order = PixelOrder::kRgbx;
    inverted.yInverted = true;
    OutputPicture plain = bgrx.At(3, 0);
    plain.yInverted = true;
    OutputComposer composer;
    const auto image = composer.Compose(std::array{inverted, plain});
    ASSERT_TRUE(image);
    for (std::int32_t y = 0; y < 3; ++y) {
        EXPECT_EQ(PixelAt(*image, 1, y), Tagged(1, 2 - y, 5));
        EXPECT_EQ(PixelAt(*image, 4, y), Tagged(1, 2 - y, 6));
    }
}

TEST(OutputCompose, ASingleOutputAlreadyInPlaceIsHandedOnWithoutACopy) {
    const Buffer only(5, 3, 1, PixelOrder::kBgrx, 12);
    OutputComposer composer;
    const auto image = composer.Compose(std::array{only.At(100, 50)});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->data, only.bytes.data());
    EXPECT_EQ(image->stride, only.stride);
    EXPECT_EQ(image->width, 5);
}

TEST(OutputCompose, TheImageTakesTheLargestScaleAndEnlargesTheOthers) {
    // A HiDPI output of 4x4 logical units at scale 2 beside a 3x2 output at scale 1.
    const Buffer hidpi(8, 8, 1), plain(3, 2, 2);
    const std::array pictures{hidpi.At(0, 0, 4, 4), plain.At(4, 0)};
    EXPECT_DOUBLE_EQ(CanvasScale(pictures), 2.0);
    OutputComposer composer;
    const auto image = composer.Compose(pictures);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 14);
    EXPECT_EQ(image->height, 8);
    EXPECT_EQ(PixelAt(*image, 7, 7), Tagged(7, 7, 1));
    for (std::int32_t y = 0; y < 4; ++y) {
        for (std::int32_t x = 0; x < 6; ++x) {
            EXPECT_EQ(PixelAt(*image, 8 + x, y), Tagged(x / 2, y / 2, 2)) << x << "," << y;
        }
    }
    EXPECT_EQ(PixelAt(*image, 8, 4), kBlack);
}

TEST(OutputCompose, AFractionalScaleSizesTheImageByRounding) {
    const Buffer scaled(15, 9, 1), plain(4, 4, 2);  // 10x6 logical units at 1.5
    const std::array pictures{scaled.At(0, 0, 10, 6), plain.At(10, 0)};
    OutputComposer composer;
    const auto image = composer.Compose(pictures);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 21);
    EXPECT_EQ(image->height, 9);
    EXPECT_EQ(PixelAt(*image, 14, 8), Tagged(14, 8, 1));
    EXPECT_EQ(PixelAt(*image, 20, 5), Tagged(3, 3, 2));
    EXPECT_EQ(PixelAt(*image, 20, 6), kBlack);
}

// The desktop sees an output turned by its transform; the image shows it as the desktop does.
TEST(OutputCompose, TransformedOutputsAreTurnedUpright) {
    const Buffer stored(3, 2, 1);  // shown 2 wide and 3 high when turned by 90 or 270
    struct Case {
        OutputTransform transform;
        Bgr topLeft, topRight;
    };
    const Case cases[] = {
        {OutputTransform::kRotated90, Tagged(0, 1, 1), Tagged(0, 0, 1)},
        {OutputTransform::kRotated180, Tagged(2, 1, 1), Tagged(0, 1, 1)},
        {OutputTransform::kRotated270, Tagged(2, 0, 1), Tagged(2, 1, 1)},
        {OutputTransform::kFlipped, Tagged(2, 0, 1), Tagged(0, 0, 1)},
        {OutputTransform::kFlipped90, Tagged(0, 0, 1), Tagged(0, 1, 1)},
        {OutputTransform::kFlipped180, Tagged(0, 1, 1), Tagged(2, 1, 1)},
        {OutputTransform::kFlipped270, Tagged(2, 1, 1), Tagged(2, 0, 1)},
    };
    OutputComposer composer;
    for (const Case& c : cases) {
        OutputPicture picture = stored.At(0, 0, 3, 2);
        picture.transform = c.transform;
        if ((static_cast<int>(c.transform) & 1) != 0) {
            picture.place = {0, 0, 2, 3};
        }
        const auto image = composer.Compose(std::array{picture});
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, picture.place.width);
        EXPECT_EQ(PixelAt(*image, 0, 0), c.topLeft) << static_cast<int>(c.transform);
        EXPECT_EQ(PixelAt(*image, image->width - 1, 0), c.topRight)
            << static_cast<int>(c.transform);
    }
}

TEST(OutputCompose, PicturesWithoutPixelsOrPlaceAreLeftOut) {
    OutputComposer composer;
    EXPECT_FALSE(composer.Compose({}));
    const Buffer real(2, 2, 1);
    OutputPicture noData = real.At(-50, -50);
    noData.data = nullptr;
    OutputPicture noPlace = real.At(10, 10, 0, 2);
    OutputPicture shortStride = real.At(20, 20);
    shortStride.stride = 4;
    EXPECT_FALSE(composer.Compose(std::array{noData, noPlace, shortStride}));
    const auto image = composer.Compose(std::array{noData, real.At(3, 3), noPlace, shortStride});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 2);
}

TEST(OutputCompose, AnAbsurdlyLargeLayoutIsRefusedInsteadOfAllocated) {
    const Buffer tiny(1, 1, 1);
    OutputComposer composer;
    EXPECT_FALSE(composer.Compose(std::array{tiny.At(0, 0), tiny.At(2'000'000'000, 0)}));
    EXPECT_FALSE(composer.Compose(
        std::array{tiny.At(0, 0, 1, 1), tiny.At(0, 50'000, 1, 1), Buffer(8, 8, 2).At(0, 0, 1, 1)}));
}

}  // namespace
}  // namespace ruvello
