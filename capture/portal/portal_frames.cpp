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
