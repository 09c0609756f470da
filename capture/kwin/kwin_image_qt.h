#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "capture/output_compose.h"

namespace ruvello {

// What KWin's answer to a screenshot says about the picture it writes into the pipe: a QImage's
// raw rows. Read from the answer, never assumed: Plasma 5.27 and 6 both send premultiplied
// ARGB32 today, a later one may send another format or pad its rows.
struct KWinImageHeader {
    std::string type;          // "raw" is the only kind there is
    std::uint32_t format = 0;  // a QImage::Format
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t stride = 0;  // bytes from one row to the next
};

// How the program takes such a picture.
struct KWinImageLayout {
    std::size_t bytes = 0;  // what the pipe brings: stride × height
    // The byte order of 4-byte pixels the composer copies as they are; nothing: a format that Qt
    // converts first (16-bit channels, 3-byte pixels, ...).
    std::optional<PixelOrder> order;
};

// Nothing for a picture the program cannot take: another type, a format Qt does not know, an
// empty or absurd size, rows shorter than their pixels.
std::optional<KWinImageLayout> KWinImageLayoutOf(const KWinImageHeader& header);

}  // namespace ruvello
