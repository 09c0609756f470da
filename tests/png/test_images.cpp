#include "test_images.h"

#include <random>

namespace ruvello::pngtest {

TestImage MakeImage(std::int32_t width, std::int32_t height, Content content, std::size_t padding,
                    std::uint32_t seed) {
    TestImage image{width, height, 4 * std::size_t(width) + padding, {}};
    image.bytes.resize(image.stride * std::size_t(height));
    std::mt19937 random(seed);
    for (auto& byte : image.bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = &image.bytes[std::size_t(y) * image.stride + 4 * std::size_t(x)];
            switch (content) {
                case Content::kRandom:
                    break;
                case Content::kFlat:
                    pixel[0] = 0x30, pixel[1] = 0x60, pixel[2] = 0x90;
                    break;
                case Content::kGradient:
                    pixel[0] = static_cast<std::uint8_t>(x);
                    pixel[1] = static_cast<std::uint8_t>(y);
                    pixel[2] = static_cast<std::uint8_t>(x + 3 * y);
                    break;
                case Content::kDesktop: {
                    // Flat windows with sparse dark "glyphs" and a noisy "photo" corner.
                    const bool photo = x > width / 2 && y > height / 2;
                    const bool glyph = (y / 3) % 4 != 0 && random() % 5 == 0;
                    const auto shade =
                        static_cast<std::uint8_t>(photo ? random() % 64 + std::uint32_t(x) : 0);
                    pixel[0] = static_cast<std::uint8_t>(glyph ? 0x20 : 0xE0 + shade);
                    pixel[1] = static_cast<std::uint8_t>(glyph ? 0x20 : 0xE8 - shade);
                    pixel[2] = static_cast<std::uint8_t>(glyph ? 0x20 : 0xF0 + y / 64);
                    break;
                }
                case Content::kBands: {
                    // Runs of 16 rows each of one kind: a noisy photo, a smooth picture, noisy
                    // photo beside text, smooth photo beside text, dense text, sparse text on
                    // flat ground. In bands of 16 rows they take each of the ways the encoder
                    // has of compressing a band.
                    const auto ramp = static_cast<std::uint32_t>(x + y);
                    const auto noise = [&](std::uint32_t n) {
                        return static_cast<std::uint32_t>(random() % n);
                    };
                    const bool glyph = (x / 2 + y / 3) % 5 < 2 && noise(3) != 0;
                    const std::uint32_t text = glyph ? 0x20 : 0xF0;
                    const std::uint32_t grey_text = glyph ? 0x70 : 0x80;  // no row goes raw
                    std::uint32_t value = 0;
                    const std::uint32_t kind = std::uint32_t(y / 16) % 6;
                    switch (kind) {
                        case 0:
                            value = ramp + noise(48);
                            break;
                        case 1:
                            value = ramp / 2 + noise(5);
                            break;
                        case 2:
                            value = x < width / 2 ? ramp + noise(24) : text;
                            break;
                        case 3:
                            value = x < width / 3 ? ramp / 4 + (noise(4) == 0) : grey_text;
                            break;
                        case 4:
                            value = grey_text;
                            break;
                        default:
                            value = glyph && noise(4) == 0 ? 0x20 : 0xF0;
                    }
                    const auto jitter = [&] { return kind == 1 ? noise(5) : 0; };
                    pixel[0] = static_cast<std::uint8_t>(value + jitter());
                    pixel[1] = static_cast<std::uint8_t>(value + jitter());
                    pixel[2] = static_cast<std::uint8_t>(value + jitter() + std::uint32_t(y % 2));
                    break;
                }
            }
        }
    }
    return image;
}

}  // namespace ruvello::pngtest
