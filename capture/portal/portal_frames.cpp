#include "capture/portal/portal_frames.h"

#include <algorithm>

namespace ruvello {

std::vector<LayoutRect> PlaceStreams(std::span<const AnnouncedStream> streams,
                                     std::span<const FrameSize> frameSizes) {
    std::vector<LayoutRect> places;
    std::int32_t right = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const FrameSize frame = i < frameSizes.size() ? frameSizes[i] : FrameSize{};
        LayoutRect place = streams[i].place.value_or(LayoutRect{right, 0, 0, 0});
        if (place.width <= 0 || place.height <= 0) {
            place.width = frame.width;
            place.height = frame.height;
        }
        right = std::max(right, place.x + place.width);
        places.push_back(place);
    }
    return places;
}

namespace {

bool SamePlace(const LayoutRect& a, const LayoutRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

bool At(const LayoutRect& monitor, const std::optional<LayoutRect>& place) {
    return place && place->x == monitor.x && place->y == monitor.y;
}

}  // namespace

bool ShowsAMonitor(const std::optional<LayoutRect>& place, std::span<const LayoutRect> monitors) {
    return std::any_of(monitors.begin(), monitors.end(),
                       [&](const LayoutRect& monitor) { return At(monitor, place); });
}

std::size_t UnshownMonitors(std::span<const std::optional<LayoutRect>> streamPlaces,
                            std::span<const LayoutRect> monitors) {
    const auto unplaced = static_cast<std::size_t>(std::count_if(
        streamPlaces.begin(), streamPlaces.end(), [](const auto& place) { return !place; }));
    const auto unshown = static_cast<std::size_t>(
        std::count_if(monitors.begin(), monitors.end(), [&](const auto& m) {
            return std::none_of(streamPlaces.begin(), streamPlaces.end(),
                                [&](const auto& place) { return At(m, place); });
        }));
    return unshown > unplaced ? unshown - unplaced : 0;
}

bool MonitorsDiffer(std::span<const LayoutRect> before, std::span<const LayoutRect> now) {
    if (before.size() != now.size()) {
        return true;
    }
    return !std::all_of(before.begin(), before.end(), [&](const LayoutRect& b) {
        return std::any_of(now.begin(), now.end(),
                           [&](const LayoutRect& n) { return SamePlace(b, n); });
    });
}

bool MissesFrame(const StreamWait& stream, SteadyTime asked, const FrameWaitRules& rules) {
    return !stream.newest || (rules.onlyNewFrames && *stream.newest < asked);
}

FrameDecision DecideFrames(std::span<const StreamWait> streams, SteadyTime asked, SteadyTime now,
                           const FrameWaitRules& rules) {
    FrameDecision decision;
    auto wakeAt = [&](SteadyTime moment) {
        decision.takeNow = false;
        decision.wakeAt = std::min(decision.wakeAt, moment);
    };
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const StreamWait& stream = streams[i];
        if (MissesFrame(stream, asked, rules)) {
            const SteadyTime giveUp = asked + rules.firstFrame;
            if (now >= giveUp) {
                continue;
            }
            SteadyTime askAgain = stream.requested + rules.askAgainAfter;
            if (now >= askAgain) {
                decision.askAgain.push_back(i);
                askAgain = now + rules.askAgainAfter;
            }
            wakeAt(std::min(giveUp, askAgain));
        } else if (*stream.newest < asked && now < *stream.newest + rules.settle) {
            wakeAt(*stream.newest + rules.settle);
        }
    }
    return decision;
}

}  // namespace ruvello
