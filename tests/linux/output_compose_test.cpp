#include "capture/output_compose.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "fakes/failing_allocations.h"

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
    // The same picture as output `id`, with what changed in it as the compositor reports it.
    OutputPicture Of(std::uint32_t id, std::int32_t x, std::int32_t y,
                     std::optional<std::vector<PixelRect>> changed = std::nullopt) const {
        OutputPicture picture = At(x, y);
        picture.id = id;
        picture.changed = std::move(changed);
        return picture;
    }
    void Set(std::int32_t x, std::int32_t y, Bgr bgr) {
        std::uint8_t* p = &bytes[y * stride + 4 * x];
        p[0] = bgr[0];
        p[1] = bgr[1];
        p[2] = bgr[2];
    }
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

constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kGrey{128, 128, 128};

// Between shots the composer compares each band of rows with its hash from the last shot.
TEST(OutputComposeChanges, AnImageWhoseRowsDidNotChangeSaysSoAndAChangedRowIsDrawnAgain) {
    Buffer left(6, 140, 1), right(3, 140, 2);
    OutputComposer composer;
    auto image = composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0)});
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->unchanged);
    image = composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0)});
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->unchanged);

    right.Set(1, 130, kWhite);  // in the third band of 64 rows
    image = composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0)});
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->unchanged);
    EXPECT_EQ(PixelAt(*image, 7, 130), kWhite);
    EXPECT_EQ(PixelAt(*image, 8, 130), Tagged(2, 130, 2));
    EXPECT_EQ(PixelAt(*image, 7, 2), Tagged(1, 2, 2));
    EXPECT_EQ(PixelAt(*image, 5, 130), Tagged(5, 130, 1));
}

// The composer takes the compositor's word: what it names is drawn again, nothing else.
TEST(OutputComposeChanges, OnlyTheRectanglesTheCompositorNamesAreDrawnAgain) {
    Buffer left(6, 4, 1), right(5, 4, 2);
    OutputComposer composer;
    ASSERT_TRUE(composer.Compose(std::array{left.Of(1, 0, 0, {{}}), right.Of(2, 6, 0, {{}})}));

    right.Set(1, 1, kWhite);
    right.Set(4, 3, kGrey);
    const std::vector<PixelRect> named{{0, 0, 2, 2}};
    auto image = composer.Compose(std::array{left.Of(1, 0, 0, {{}}), right.Of(2, 6, 0, named)});
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->unchanged);
    EXPECT_EQ(PixelAt(*image, 7, 1), kWhite);
    EXPECT_EQ(PixelAt(*image, 10, 3), Tagged(4, 3, 2)) << "not named, not drawn";

    image = composer.Compose(std::array{left.Of(1, 0, 0, {{}}), right.Of(2, 6, 0, {{}})});
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->unchanged);
}

TEST(OutputComposeChanges, APictureWithoutPixelsKeepsWhatTheImageHoldsOfIt) {
    const Buffer left(6, 4, 1), right(5, 4, 2);
    OutputComposer composer;
    ASSERT_TRUE(composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0)}));
    EXPECT_TRUE(composer.Holds(2, {6, 0, 5, 4}, 5, 4));
    EXPECT_FALSE(composer.Holds(2, {7, 0, 5, 4}, 5, 4));

    OutputPicture still = right.Of(2, 6, 0, {{}});
    still.data = nullptr;
    const auto image = composer.Compose(std::array{left.Of(1, 0, 0, {{}}), still});
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->unchanged);
    EXPECT_EQ(PixelAt(*image, 10, 3), Tagged(4, 3, 2));
}

// Where the image must be drawn anew (another layout, or after Forget), a picture without
// pixels cannot be drawn: the composer says that it needs them.
TEST(OutputComposeChanges, APictureWithoutPixelsThatTheImageDoesNotHoldIsAskedFor) {
    const Buffer left(6, 4, 1), right(5, 4, 2), below(2, 2, 3);
    OutputComposer composer;
    ASSERT_TRUE(composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0)}));
    OutputPicture still = right.Of(2, 6, 0, {{}});
    still.data = nullptr;
    EXPECT_FALSE(composer.Compose(std::array{left.Of(1, 0, 0), still, below.Of(3, 0, 4)}));
    EXPECT_TRUE(composer.NeedsPixels());

    ASSERT_TRUE(composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0)}));
    EXPECT_FALSE(composer.NeedsPixels());
    composer.Forget();
    EXPECT_FALSE(composer.Holds(2, {6, 0, 5, 4}, 5, 4));
    EXPECT_FALSE(composer.Compose(std::array{left.Of(1, 0, 0), still}));
    EXPECT_TRUE(composer.NeedsPixels());
}

TEST(OutputComposeChanges, TheOnlyPictureHandedOnSaysWhetherItChanged) {
    Buffer only(5, 3, 1);
    OutputComposer composer;
    auto image = composer.Compose(std::array{only.Of(1, 0, 0)});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->data, only.bytes.data());
    EXPECT_FALSE(image->unchanged);
    image = composer.Compose(std::array{only.Of(1, 0, 0)});
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->unchanged);
    EXPECT_FALSE(composer.Holds(1, {0, 0, 5, 3}, 5, 3)) << "its pixels are the picture's";

    only.Set(4, 2, kWhite);
    image = composer.Compose(std::array{only.Of(1, 0, 0)});
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->unchanged);
    image = composer.Compose(std::array{only.Of(1, 0, 0, {{}})});
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->unchanged);
    image = composer.Compose(std::array{only.Of(1, 1, 0, {{}})});  // moved: another picture
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->unchanged);
}

// A picture drawn enlarged or turned changes as a whole: a named rectangle of its stored pixels
// does not land on one rectangle of the image.
TEST(OutputComposeChanges, AnEnlargedPictureIsDrawnWholeWhenItChanges) {
    Buffer hidpi(8, 8, 1), plain(3, 2, 2);
    OutputComposer composer;
    OutputPicture large = hidpi.Of(1, 0, 0, {{}});
    large.place = {0, 0, 4, 4};
    OutputPicture small = plain.Of(2, 4, 0, {{}});
    ASSERT_TRUE(composer.Compose(std::array{large, small}));

    plain.Set(0, 0, kWhite);
    plain.Set(2, 1, kGrey);
    small.changed = std::vector<PixelRect>{{0, 0, 1, 1}};
    const auto image = composer.Compose(std::array{large, small});
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 8, 0), kWhite);
    EXPECT_EQ(PixelAt(*image, 13, 3), kGrey);
}

// Mirrored outputs overlap: a change of the earlier one must not cover the later one.
TEST(OutputComposeChanges, OverlappingPicturesKeepTheLaterOneOnTop) {
    Buffer first(4, 4, 1), second(4, 4, 2);
    OutputComposer composer;
    ASSERT_TRUE(composer.Compose(std::array{first.Of(1, 0, 0), second.Of(2, 2, 0)}));
    first.Set(3, 0, kWhite);
    const auto image = composer.Compose(std::array{first.Of(1, 0, 0), second.Of(2, 2, 0)});
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 3, 0), Tagged(1, 0, 2));
}

// Memory that runs out in a Compose leaves the composer as it was: the next one is right.
TEST(OutputComposeChanges, AComposeThatRunsOutOfMemoryLeavesTheComposerAsItWas) {
    bool failed = true;
    for (long nth = 1; failed; ++nth) {
        SCOPED_TRACE(nth);
        Buffer left(6, 70, 1), right(3, 2, 2);
        OutputComposer composer;
        ASSERT_TRUE(composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0)}));
        left.Set(0, 66, kWhite);
        {
            testing::FailingAllocations failing(nth);
            try {
                composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0, {{}})});
            } catch (const std::bad_alloc&) {
                EXPECT_TRUE(failing.Failed());
            }
            failed = failing.Failed();
        }
        const auto image = composer.Compose(std::array{left.Of(1, 0, 0), right.Of(2, 6, 0)});
        ASSERT_TRUE(image);
        EXPECT_EQ(PixelAt(*image, 0, 66), kWhite);
        EXPECT_EQ(PixelAt(*image, 8, 1), Tagged(2, 1, 2));
    }
}

}  // namespace
}  // namespace ruvello
