#include "platform/screen_geometry.h"

#include <algorithm>
#include <limits>

namespace ruvello {

LayoutRect BoundingRect(std::span<const LayoutRect> places) {
    bool any = false;
    std::int64_t left = 0, top = 0, right = 0, bottom = 0;
    for (const LayoutRect& p : places) {
        if (p.width <= 0 || p.height <= 0) {
            continue;
        }
        const std::int64_t pr = std::int64_t{p.x} + p.width;
        const std::int64_t pb = std::int64_t{p.y} + p.height;
        left = any ? std::min<std::int64_t>(left, p.x) : p.x;
        top = any ? std::min<std::int64_t>(top, p.y) : p.y;
        right = any ? std::max(right, pr) : pr;
        bottom = any ? std::max(bottom, pb) : pb;
        any = true;
    }
    if (!any || right - left > std::numeric_limits<std::int32_t>::max() ||
        bottom - top > std::numeric_limits<std::int32_t>::max()) {
        return {};
    }
    return {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
            static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(bottom - top)};
}

}  // namespace ruvello
