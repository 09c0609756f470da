#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/screen_geometry.h"
#include "platform/wayland/wayland_connection_wayland.h"

struct wl_output;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace ruvello {

// One output (monitor) as the compositor describes it.
struct WaylandOutput {
    std::uint32_t global = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    std::string name;
    LayoutRect device;  // wl_output's position and current mode, in pixels
    std::int32_t scale = 1;
    OutputTransform transform = OutputTransform::kNormal;
    LayoutRect logical;  // xdg-output's place in the layout; empty until it came

    // Where the output sits in the desktop's logical coordinates. Without xdg-output, the
    // mode divided by the scale (turned by the transform) at wl_output's position.
    LayoutRect Place() const;
};

// The outputs of the desktop and their places, kept current from the compositor's events.
class WaylandOutputLayout {
  public:
    explicit WaylandOutputLayout(WaylandConnection& connection);
    ~WaylandOutputLayout();
    WaylandOutputLayout(const WaylandOutputLayout&) = delete;
    WaylandOutputLayout& operator=(const WaylandOutputLayout&) = delete;

    // The outputs, with what the compositor said up to the last dispatch. Any dispatch may
    // remove one: across a wait, hold its global and Find it again.
    const std::vector<std::unique_ptr<WaylandOutput>>& Outputs() const { return outputs_; }
    // The output of that wl_output global; nullptr once it is gone.
    const WaylandOutput* Find(std::uint32_t global) const;
    // The bounding rectangle of all outputs' places.
    LayoutRect Bounds() const;

  private:
    void Add(const WaylandGlobal& global);
    void Remove(std::uint32_t global);
    void WatchXdgOutput(WaylandOutput& output);

    WaylandConnection& connection_;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    std::vector<std::unique_ptr<WaylandOutput>> outputs_;
};

}  // namespace ruvello
