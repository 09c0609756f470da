#pragma once

#include <cstdint>
#include <optional>

#include "capture/output_compose.h"

struct spa_pod;
struct spa_pod_builder;

namespace ruvello {

// The pixel order of a raw video format the portal route takes (BGRx, RGBx and their alpha
// forms: 4 bytes a pixel that the composer reads as they are), or nothing for any other.
std::optional<PixelOrder> PixelOrderOfVideoFormat(std::uint32_t spaVideoFormat);

// The formats a screen stream offers to take: those above, any size, at most
// `maxFramesPerSecond` frames a second, and no DMA-BUF modifier, so that a compositor hands over
// plain pixels in memory rather than GPU buffers. Built into `builder`'s memory.
const spa_pod* BuildStreamFormats(spa_pod_builder& builder, std::uint32_t maxFramesPerSecond);

// What a stream asks for once its format is fixed: `buffers` buffers (2 to 16) in shared or
// plain memory, and the header that marks a corrupted frame. Fills `params` (room for two) and
// returns their count.
std::uint32_t BuildBufferParams(spa_pod_builder& builder, const spa_pod* params[2],
                                std::uint32_t buffers);

}  // namespace ruvello
