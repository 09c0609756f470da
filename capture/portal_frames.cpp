#include "capture/portal_frames.h"

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

FrameDecision DecideFrames(std::span<const std::optional<SteadyTime>> newest, SteadyTime asked,
                           const FrameWaitRules& rules) {
    FrameDecision decision{true, asked};
    auto waitUntil = [&](SteadyTime moment) {
        decision.takeNow = false;
        decision.waitUntil = std::max(decision.waitUntil, moment);
    };
    for (const std::optional<SteadyTime>& arrival : newest) {
        if (!arrival || (rules.onlyNewFrames && *arrival < asked)) {
            waitUntil(asked + rules.firstFrame);
        } else if (*arrival < asked && asked - *arrival < rules.settle) {
            waitUntil(*arrival + rules.settle);
        }
    }
    return decision;
}

}  // namespace ruvello
