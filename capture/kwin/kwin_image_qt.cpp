#include "capture/kwin/kwin_image_qt.h"

#include <QImage>
#include <bit>

namespace ruvello {
namespace {

// Far beyond any desktop; keeps stride × height well inside size_t.
constexpr std::uint32_t kMaxSide = 1u << 17;
constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 34;

}  // namespace

std::optional<KWinImageLayout> KWinImageLayoutOf(const KWinImageHeader& header) {
    if (header.type != "raw" || header.format == QImage::Format_Invalid ||
        header.format >= QImage::NImageFormats) {
        return std::nullopt;
    }
    if (header.width == 0 || header.height == 0 || header.width > kMaxSide ||
        header.height > kMaxSide) {
        return std::nullopt;
    }
    const auto format = static_cast<QImage::Format>(header.format);
    const std::uint64_t bits = QImage::toPixelFormat(format).bitsPerPixel();
    const std::uint64_t rowBytes = (bits * header.width + 7) / 8;
    const std::uint64_t bytes = std::uint64_t{header.stride} * header.height;
    if (bits == 0 || header.stride < rowBytes || bytes > kMaxBytes) {
        return std::nullopt;
    }
    KWinImageLayout layout;
    layout.bytes = static_cast<std::size_t>(bytes);
    if constexpr (std::endian::native != std::endian::little) {
        return layout;  // QImage's 32-bit pixels are words: Qt reorders them here
    }
    switch (format) {
        // Alpha is left out as the other routes leave it: the gaps between screens are
        // transparent black in KWin's picture, black in the file.
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
        case QImage::Format_ARGB32_Premultiplied:
            layout.order = PixelOrder::kBgrx;
            break;
        case QImage::Format_RGBX8888:
        case QImage::Format_RGBA8888:
        case QImage::Format_RGBA8888_Premultiplied:
            layout.order = PixelOrder::kRgbx;
            break;
        default:
            break;
    }
    return layout;
}

}  // namespace ruvello
