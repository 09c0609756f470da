#include "capture/capture_route.h"

#include <gtest/gtest.h>

namespace ruvello {
namespace {

// The black-frame rule: once a Wayland compositor answers, the X11 grab is never chosen, and
// XWayland alone gets no capture at all.
TEST(CaptureRoute, AWaylandSessionNeverGetsTheX11Grab) {
    struct Case {
        SessionFacts facts;
        CaptureRoute route;
    };
    const Case cases[] = {
        {{true, true, true, true}, CaptureRoute::kWaylandDirect},
        {{true, true, true, false}, CaptureRoute::kWaylandDirect},
        {{true, true, false, true}, CaptureRoute::kPortal},
        {{true, false, false, true}, CaptureRoute::kNone},   // named, unreachable, on XWayland
        {{false, false, false, true}, CaptureRoute::kNone},  // XWayland, Wayland display unset
        {{true, false, false, false}, CaptureRoute::kX11},   // a stale name on a real X server
        {{false, false, false, false}, CaptureRoute::kX11},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseCaptureRoute(c.facts), c.route)
            << c.facts.waylandNamed << c.facts.waylandConnected << c.facts.screenCopy
            << c.facts.xwayland;
    }
    EXPECT_FALSE(RouteNotice(CaptureRoute::kNone, {}).empty());
    EXPECT_TRUE(RouteNotice(CaptureRoute::kX11, {}).empty());
    EXPECT_TRUE(RouteNotice(CaptureRoute::kWaylandDirect, {}).empty());
    EXPECT_TRUE(RouteNotice(CaptureRoute::kPortal, {}).empty());  // the route speaks for itself
}

}  // namespace
}  // namespace ruvello
