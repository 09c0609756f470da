#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capture/output_compose.h"

namespace ruvello {

using SteadyTime = std::chrono::steady_clock::time_point;

// A monitor stream as the portal's Start answer describes it; a portal may leave out where it
// sits and how large it is.
struct AnnouncedStream {
    std::uint32_t nodeId = 0;
    std::optional<LayoutRect> place;  // logical position and size
};

struct FrameSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Where each stream's picture goes in the layout: an announced place as it is; a stream without
// one goes to the right of everything placed before it, at the top, as large as its frame.
std::vector<LayoutRect> PlaceStreams(std::span<const AnnouncedStream> streams,
                                     std::span<const FrameSize> frameSizes);

// How long a shot waits for frames.
struct FrameWaitRules {
    // A compositor sends a frame when the screen changes, but not sooner than its frame interval
    // after the last one: a frame younger than this may have a newer one on its way.
    std::chrono::milliseconds settle{650};
    // How long a stream may take to send its first frame, or its next one after a pause.
    std::chrono::milliseconds firstFrame{5000};
    // Streams resumed for this shot: only frames sent after `asked` count.
    bool onlyNewFrames = false;
};

struct FrameDecision {
    bool takeNow = false;
    SteadyTime waitUntil;  // when not now: the latest moment to wait for newer frames
};

// Whether a shot asked for at `asked` can take the streams' newest frames (their arrival times;
// nothing for a stream without a frame yet), or until when it waits for newer ones. Once that
// moment has passed, the shot takes what it has, and fails only for a stream without a frame.
FrameDecision DecideFrames(std::span<const std::optional<SteadyTime>> newest, SteadyTime asked,
                           const FrameWaitRules& rules);

}  // namespace ruvello
