#pragma once

#include <cstdint>
#include <span>

namespace ruvello {

// Where the desktop's outputs are and how they show their pictures: what the compositor
// reports, what the capture routes compose by, and where the flash and the menu go.

// A rectangle in the desktop's logical coordinates: what xdg-output reports for an output and
// what a screen-cast stream reports as its position and size.
struct LayoutRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// How an output shows its stored picture: the values of wl_output.transform. A buffer is stored
// as the output scans it out; with kRotated90 the desktop sees it turned 90° clockwise (its
// stored top row is the right-hand column on screen), as wlroots compositors and grim have it.
enum class OutputTransform : std::uint32_t {
    kNormal = 0,
    kRotated90 = 1,
    kRotated180 = 2,
    kRotated270 = 3,
    kFlipped = 4,
    kFlipped90 = 5,
    kFlipped180 = 6,
    kFlipped270 = 7,
};

// The bounding rectangle of the places that are not empty; empty when none is.
LayoutRect BoundingRect(std::span<const LayoutRect> places);

}  // namespace ruvello
