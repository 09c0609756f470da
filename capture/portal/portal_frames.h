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

// Whether a stream announced at `place` shows one of `monitors` (the desktop's monitors as its
// compositor reports them, in the same logical coordinates): one sits at its position. Sizes are
// not compared, as portals give them in pixels or in logical units.
bool ShowsAMonitor(const std::optional<LayoutRect>& place, std::span<const LayoutRect> monitors);

// How many of `monitors` no stream shows. A stream with a place shows the monitor at its
// position; streams without one (a portal may leave it out) show, one each, monitors that no
// placed stream shows.
std::size_t UnshownMonitors(std::span<const std::optional<LayoutRect>> streamPlaces,
                            std::span<const LayoutRect> monitors);

// Whether the desktop's monitors are others than before (one came, went or moved).
bool MonitorsDiffer(std::span<const LayoutRect> before, std::span<const LayoutRect> now);

// How long a shot waits for frames.
struct FrameWaitRules {
    // A compositor sends a frame when the screen changes, but not sooner than its frame interval
    // after the last one: a frame younger than this may have a newer one on its way.
    std::chrono::milliseconds settle{650};
    // A stream still without a frame this long after one was asked for is asked again: a
    // compositor sends a frame when a stream starts, and that one can be lost while the stream
    // is still being set up, with nothing after it while the screen stays the same.
    std::chrono::milliseconds askAgainAfter{1000};
    // How long a shot waits for a stream's frame at most.
    std::chrono::milliseconds firstFrame{5000};
    // Streams resumed for this shot: only frames sent after it was asked for count.
    bool onlyNewFrames = false;
};

// One stream as a shot waits for it.
struct StreamWait {
    std::optional<SteadyTime> newest;  // when its newest frame was taken; nothing without one
    SteadyTime requested;              // when a frame was last asked for
};

struct FrameDecision {
    bool takeNow = true;  // otherwise decide again at `wakeAt` or on the next frame
    SteadyTime wakeAt = SteadyTime::max();
    std::vector<std::size_t> askAgain;  // streams to ask for a frame now
};

// Whether a shot asked for at `asked` can take the streams' newest frames at `now`. Once it has
// waited its longest, it takes what there is; a stream still missing its frame fails the shot.
FrameDecision DecideFrames(std::span<const StreamWait> streams, SteadyTime asked, SteadyTime now,
                           const FrameWaitRules& rules);

// Whether the stream has no frame the shot can use.
bool MissesFrame(const StreamWait& stream, SteadyTime asked, const FrameWaitRules& rules);

}  // namespace ruvello
