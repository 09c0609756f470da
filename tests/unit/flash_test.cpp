#include <gtest/gtest.h>

#include "fakes/test_rig.h"

namespace ruvello {
namespace {

using testing::TestRig;

struct Flash {
    TestRig rig;
    basFlash flash{rig.flash, rig.windows, rig.clock};
};

TEST(PlayFlash, ShowsTheTranslucentOverlayOverTheVirtualScreenThenDestroysIt) {
    Flash f;
    f.flash.PlayFlash(80);
    const testing::EventLog expected{"flash load",      "flash topmost", "flash alpha 160",
                                     "flash move",      "flash show",    "flash topmost",
                                     "flash alpha 160", "flash unload"};
    EXPECT_EQ(f.rig.log, expected);
    EXPECT_EQ(f.rig.flash.rect.left, -1280);
    EXPECT_EQ(f.rig.flash.rect.width, 3200);
    EXPECT_FALSE(f.rig.flash.loaded);
}

TEST(PlayFlash, WaitsTheDurationWhileProcessingEvents) {
    Flash f;
    f.rig.clock.secondsStep = 0.001;
    f.flash.PlayFlash(80);
    // One pass of events after the show, then one per millisecond until 80 ms have passed.
    EXPECT_GE(f.rig.windows.doEventsCalls, 80);
    EXPECT_LE(f.rig.windows.doEventsCalls, 82);
}

TEST(PlayFlash, EndsAtOnceForNoDuration) {
    for (const std::int32_t duration : {0, -5}) {
        Flash f;
        f.flash.PlayFlash(duration);
        EXPECT_EQ(f.rig.windows.doEventsCalls, 1);
        EXPECT_FALSE(f.rig.flash.loaded);
    }
}

TEST(PlayFlash, EndsWhenTheClockIsSetBackDuringTheWait) {
    Flash f;
    int readings = 0;
    f.rig.clock.nextSeconds = [&](double last) {
        return ++readings == 3 ? last - 86'400.0 : last + 0.01;  // back by a day, once
    };
    f.flash.PlayFlash(80);
    EXPECT_FALSE(f.rig.flash.loaded);
    EXPECT_LE(readings, 12);
}

TEST(PlayFlash, LeavesNoOverlayAfterANestedFlash) {
    Flash f;
    f.rig.windows.onDoEvents = [&] { f.flash.PlayFlash(80); };
    f.flash.PlayFlash(80);
    EXPECT_FALSE(f.rig.flash.loaded);
    EXPECT_EQ(std::count(f.rig.log.begin(), f.rig.log.end(), "flash load"), 1);
    EXPECT_EQ(std::count(f.rig.log.begin(), f.rig.log.end(), "flash unload"), 1);
}

}  // namespace
}  // namespace ruvello
