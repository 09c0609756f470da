#include <gtest/gtest.h>

#include "capture/x11/pixel_layout.h"

namespace ruvello {
namespace {

TEST(ConvertToBgrx, ScalesSixteenBitChannelsToFullRange) {
    // 5-6-5 pixels, little-endian: white, pure red, pure green, black.
    const std::uint8_t rgb565[] = {0xFF, 0xFF, 0x00, 0xF8, 0xE0, 0x07, 0x00, 0x00};
    PixelLayout layout{16, false, 0xF800, 0x07E0, 0x001F};
    std::vector<std::uint8_t> out;
    const BgrxRows rows = ConvertToBgrx(rgb565, 4, 1, 8, layout, out);
    EXPECT_EQ(rows.stride, 16u);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{255, 255, 255, 255, 0, 0, 255, 255, 0, 255, 0, 255, 0,
                                              0, 0, 255}));
}

TEST(ConvertToBgrx, ReadsMostSignificantByteFirstAndHonoursTheStride) {
    // Two rows of one 32-bit pixel each, stride 8, MSB first: 0x00RRGGBB.
    const std::uint8_t msb[] = {0x00, 0x11, 0x22, 0x33, 9, 9, 9, 9,
                                0x00, 0x44, 0x55, 0x66, 9, 9, 9, 9};
    PixelLayout layout{32, true, 0xFF0000, 0x00FF00, 0x0000FF};
    EXPECT_FALSE(layout.IsBgrx());
    std::vector<std::uint8_t> out;
    ConvertToBgrx(msb, 1, 2, 8, layout, out);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x33, 0x22, 0x11, 255, 0x66, 0x55, 0x44, 255}));
    EXPECT_TRUE(PixelLayout{}.IsBgrx());
}

}  // namespace
}  // namespace ruvello
