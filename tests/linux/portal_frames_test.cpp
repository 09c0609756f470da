#include "capture/portal/portal_frames.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace ruvello {
namespace {

using std::chrono::milliseconds;

const SteadyTime kAsked = SteadyTime() + std::chrono::hours(1);

SteadyTime At(int ms) {
    return kAsked + milliseconds(ms);
}

FrameWaitRules Rules(bool onlyNewFrames = false) {
    FrameWaitRules rules;
    rules.settle = milliseconds(650);
    rules.askAgainAfter = milliseconds(1000);
    rules.firstFrame = milliseconds(5000);
    rules.onlyNewFrames = onlyNewFrames;
    return rules;
}

TEST(PortalFrames, TakesFramesOfAStillScreenAtOnceAndWaitsOutAChangingOne) {
    const std::vector<StreamWait> still{{At(-5000), kAsked}, {At(-700), kAsked}};
    EXPECT_TRUE(DecideFrames(still, kAsked, kAsked, Rules()).takeNow);

    // A frame 100 ms old may have a newer one on its way: wait for it, but no longer than the
    // compositor's frame interval allows.
    std::vector<StreamWait> changing{{At(-5000), kAsked}, {At(-100), kAsked}};
    FrameDecision decision = DecideFrames(changing, kAsked, kAsked, Rules());
    EXPECT_FALSE(decision.takeNow);
    EXPECT_EQ(decision.wakeAt, At(550));
    EXPECT_TRUE(decision.askAgain.empty());
    EXPECT_TRUE(DecideFrames(changing, kAsked, At(550), Rules()).takeNow);

    changing[1].newest = At(300);  // the newer frame came
    EXPECT_TRUE(DecideFrames(changing, kAsked, At(300), Rules()).takeNow);
}

TEST(PortalFrames, AsksAgainForAMissingFrameAndGivesUpAtTheLimit) {
    std::vector<StreamWait> streams{{At(-5000), kAsked}, {std::nullopt, kAsked}};
    FrameDecision decision = DecideFrames(streams, kAsked, At(10), Rules());
    EXPECT_FALSE(decision.takeNow);
    EXPECT_EQ(decision.wakeAt, At(1000));
    EXPECT_TRUE(decision.askAgain.empty());

    decision = DecideFrames(streams, kAsked, At(1000), Rules());
    EXPECT_EQ(decision.askAgain, std::vector<std::size_t>{1});
    EXPECT_EQ(decision.wakeAt, At(2000));
    streams[1].requested = At(1000);

    decision = DecideFrames(streams, kAsked, At(4500), Rules());
    EXPECT_EQ(decision.wakeAt, At(5000));  // the limit comes before the next question

    decision = DecideFrames(streams, kAsked, At(5000), Rules());
    EXPECT_TRUE(decision.takeNow);
    EXPECT_TRUE(MissesFrame(streams[1], kAsked, Rules()));
    EXPECT_FALSE(MissesFrame(streams[0], kAsked, Rules()));
}

TEST(PortalFrames, ResumedStreamsCountOnlyFramesSentAfterTheShotWasAskedFor) {
    std::vector<StreamWait> streams{{At(-10), kAsked}, {At(20), kAsked}};
    FrameDecision decision = DecideFrames(streams, kAsked, At(30), Rules(true));
    EXPECT_FALSE(decision.takeNow);
    EXPECT_TRUE(MissesFrame(streams[0], kAsked, Rules(true)));
    EXPECT_FALSE(MissesFrame(streams[1], kAsked, Rules(true)));
    streams[0].newest = At(40);
    EXPECT_TRUE(DecideFrames(streams, kAsked, At(40), Rules(true)).takeNow);
}

TEST(PortalFrames, PlacesStreamsWhereThePortalSaysAndTheOthersToTheRight) {
    const std::vector<AnnouncedStream> streams{
        {40, LayoutRect{0, 100, 1280, 1024}},
        {41, std::nullopt},
        {42, LayoutRect{-1920, 0, 1920, 1080}},
        {43, LayoutRect{3000, 50, 0, 0}},  // a position without a size
    };
    const std::vector<FrameSize> frames{{2560, 2048}, {800, 600}, {1920, 1080}, {640, 480}};
    const std::vector<LayoutRect> places = PlaceStreams(streams, frames);
    ASSERT_EQ(places.size(), 4u);
    auto same = [](const LayoutRect& a, const LayoutRect& b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    };
    EXPECT_TRUE(same(places[0], {0, 100, 1280, 1024}));  // logical, not the frame's pixels
    EXPECT_TRUE(same(places[1], {1280, 0, 800, 600}));
    EXPECT_TRUE(same(places[2], {-1920, 0, 1920, 1080}));
    EXPECT_TRUE(same(places[3], {3000, 50, 640, 480}));
}

// Two monitors side by side, as the compositor reports them; the portal announces the streams
// with the same logical positions (GNOME) or without any (KDE).
const std::vector<LayoutRect> kTwoMonitors{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};

TEST(PortalMonitors, CountsTheMonitorsThatNoStreamShows) {
    using Places = std::vector<std::optional<LayoutRect>>;
    const std::vector<LayoutRect> three{kTwoMonitors[0], kTwoMonitors[1], {3200, 0, 800, 600}};
    EXPECT_EQ(UnshownMonitors(Places{kTwoMonitors[0], kTwoMonitors[1]}, kTwoMonitors), 0u);
    EXPECT_EQ(UnshownMonitors(Places{kTwoMonitors[0], kTwoMonitors[1]}, three), 1u);
    EXPECT_EQ(UnshownMonitors(Places{kTwoMonitors[0]}, three), 2u);
    // Sizes in pixels of a monitor at scale 2 still show the monitor at that position.
    EXPECT_EQ(
        UnshownMonitors(Places{LayoutRect{1920, 0, 2560, 2048}, kTwoMonitors[0]}, kTwoMonitors),
        0u);
    // Streams without a place show one monitor each.
    EXPECT_EQ(UnshownMonitors(Places{std::nullopt, std::nullopt}, kTwoMonitors), 0u);
    EXPECT_EQ(UnshownMonitors(Places{std::nullopt, std::nullopt}, three), 1u);
    EXPECT_EQ(UnshownMonitors(Places{kTwoMonitors[0], std::nullopt}, three), 1u);
    EXPECT_EQ(UnshownMonitors(Places{std::nullopt, std::nullopt, std::nullopt}, kTwoMonitors), 0u);
    // A stream where no monitor is any more shows none of the others.
    EXPECT_EQ(UnshownMonitors(Places{LayoutRect{-1280, 0, 1280, 1024}}, kTwoMonitors), 2u);
    EXPECT_EQ(UnshownMonitors(Places{}, std::vector<LayoutRect>{}), 0u);
}

TEST(PortalMonitors, AStreamShowsAMonitorWhileOneSitsAtItsPosition) {
    EXPECT_TRUE(ShowsAMonitor(LayoutRect{1920, 0, 1280, 1024}, kTwoMonitors));
    EXPECT_TRUE(ShowsAMonitor(LayoutRect{1920, 0, 2560, 2048}, kTwoMonitors));
    EXPECT_FALSE(ShowsAMonitor(LayoutRect{3200, 0, 800, 600}, kTwoMonitors));
    EXPECT_FALSE(ShowsAMonitor(LayoutRect{1920, 0, 1280, 1024}, {kTwoMonitors.data(), 1}));
    EXPECT_FALSE(ShowsAMonitor(std::nullopt, kTwoMonitors));  // the portal did not say where
}

TEST(PortalMonitors, MonitorsDifferWhenOneCameWentOrMovedButNotInAnotherOrder) {
    const std::vector<LayoutRect> swapped{kTwoMonitors[1], kTwoMonitors[0]};
    EXPECT_FALSE(MonitorsDiffer(kTwoMonitors, swapped));
    EXPECT_TRUE(MonitorsDiffer(kTwoMonitors, {kTwoMonitors.data(), 1}));
    EXPECT_TRUE(MonitorsDiffer({kTwoMonitors.data(), 1}, kTwoMonitors));
    const std::vector<LayoutRect> moved{kTwoMonitors[0], {1920, 56, 1280, 1024}};
    EXPECT_TRUE(MonitorsDiffer(kTwoMonitors, moved));
    const std::vector<LayoutRect> resized{kTwoMonitors[0], {1920, 0, 2560, 1440}};
    EXPECT_TRUE(MonitorsDiffer(kTwoMonitors, resized));
}

}  // namespace
}  // namespace ruvello
