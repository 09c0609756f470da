#include "platform/wayland/output_layout_wayland.h"

#include <wayland-client.h>

#include <algorithm>

#include "platform/wayland/wayland_connection_wayland.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace ruvello {
namespace {

constexpr int kAnnounceTimeoutMs = 2000;

WaylandOutput& Of(void* data) {
    return *static_cast<WaylandOutput*>(data);
}

const wl_output_listener kOutputListener = {
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t transform) {
            Of(data).device.x = x;
            Of(data).device.y = y;
            Of(data).transform = static_cast<OutputTransform>(transform & 7);
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
            if (flags & WL_OUTPUT_MODE_CURRENT) {
                Of(data).device.width = width;
                Of(data).device.height = height;
            }
        },
    .done = [](void*, wl_output*) {},
    .scale = [](void* data, wl_output*,
                std::int32_t factor) { Of(data).scale = std::max(factor, 1); },
    .name = [](void* data, wl_output*, const char* name) { Of(data).name = name; },
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener = {
    .logical_position =
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
            Of(data).logical.x = x;
            Of(data).logical.y = y;
        },
    .logical_size =
        [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
            Of(data).logical.width = width;
            Of(data).logical.height = height;
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name =
        [](void* data, zxdg_output_v1*, const char* name) {
            if (Of(data).name.empty()) {
                Of(data).name = name;
            }
        },
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

}  // namespace

LayoutRect WaylandOutput::Place() const {
    if (logical.width > 0 && logical.height > 0) {
        return logical;
    }
    const bool turned = (static_cast<std::uint32_t>(transform) & 1) != 0;
    const std::int32_t width = turned ? device.height : device.width;
    const std::int32_t height = turned ? device.width : device.height;
    return {device.x, device.y, width / scale, height / scale};
}

WaylandOutputLayout::WaylandOutputLayout(WaylandConnection& connection) : connection_(connection) {
    xdgOutputs_ =
        static_cast<zxdg_output_manager_v1*>(connection_.Bind(zxdg_output_manager_v1_interface, 3));
    connection_.WatchGlobals([this](const WaylandGlobal& global) { Add(global); },
                             [this](std::uint32_t global) { Remove(global); });
    // Two rounds under one deadline: the outputs' own events, then those of their xdg-output
    // objects.
    const WaitDeadline deadline(kAnnounceTimeoutMs);
    connection_.Roundtrip(deadline.LeftMs());
    connection_.Roundtrip(deadline.LeftMs());
}

WaylandOutputLayout::~WaylandOutputLayout() {
    connection_.WatchGlobals({}, {});
    while (!outputs_.empty()) {
        Remove(outputs_.back()->global);
    }
    ReleaseObject(xdgOutputs_, zxdg_output_manager_v1_destroy);
}

void WaylandOutputLayout::Add(const WaylandGlobal& global) {
    if (global.interface != wl_output_interface.name) {
        return;
    }
    // Room first: once bound, the compositor's events point at the record.
    outputs_.reserve(outputs_.size() + 1);
    auto output = std::make_unique<WaylandOutput>();
    output->global = global.name;
    output->output = static_cast<wl_output*>(connection_.Bind(global, wl_output_interface, 4));
    if (!output->output) {
        return;
    }
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    WatchXdgOutput(*output);
    outputs_.push_back(std::move(output));
}

void WaylandOutputLayout::WatchXdgOutput(WaylandOutput& output) {
    if (!xdgOutputs_) {
        return;
    }
    output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, output.output);
    zxdg_output_v1_add_listener(output.xdgOutput, &kXdgOutputListener, &output);
}

void WaylandOutputLayout::Remove(std::uint32_t global) {
    const auto found = std::find_if(outputs_.begin(), outputs_.end(),
                                    [global](const auto& o) { return o->global == global; });
    if (found == outputs_.end()) {
        return;
    }
    WaylandOutput& output = **found;
    ReleaseObject(output.xdgOutput, zxdg_output_v1_destroy);
    if (wl_output_get_version(output.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
        wl_output_release(output.output);
    } else {
        wl_output_destroy(output.output);
    }
    outputs_.erase(found);
}

const WaylandOutput* WaylandOutputLayout::Find(std::uint32_t global) const {
    const auto found = std::find_if(outputs_.begin(), outputs_.end(),
                                    [global](const auto& o) { return o->global == global; });
    return found == outputs_.end() ? nullptr : found->get();
}

LayoutRect WaylandOutputLayout::Bounds() const {
    std::vector<LayoutRect> places;
    for (const auto& output : outputs_) {
        places.push_back(output->Place());
    }
    return BoundingRect(places);
}

}  // namespace ruvello
