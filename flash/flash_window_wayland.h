#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "flash/flash_window.h"
#include "platform/wayland/output_layout_wayland.h"
#include "platform/wayland/shm_buffer_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"

struct wl_callback;
struct wl_compositor;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace ruvello {

// frmFlash on a Wayland compositor: one layer-shell surface per output on the overlay layer,
// above every window and panel, translucent white, without input region or keyboard focus, on
// the program's own connection (whatever Qt runs on). A compositor without layer shell (GNOME)
// gets no overlay: a window there would take focus and be placed by the compositor, and the
// flash only acknowledges the click. The wait of the flash stays the same.
class WaylandFlashWindow : public FlashWindow {
  public:
    WaylandFlashWindow(WaylandConnection& connection, WaylandOutputLayout& outputs);
    ~WaylandFlashWindow() override;

    bool IsLoaded() override { return loaded_; }
    void Load() override;
    void SetTopmost() override {}  // the overlay layer is above everything already
    void SetAlpha(std::uint8_t alpha) override { alpha_ = alpha; }
    void MoveTo(const ScreenRect&) override {}  // it covers every output, where it sits
    // Returns once the compositor has shown the overlay (or a generous limit passed).
    void Show() override;
    // Returns once the compositor has shown a frame without the overlay, so that a capture
    // right after it cannot contain it.
    void Unload() override;

    // Whether the compositor can show the overlay at all.
    bool Available() const { return layerShell_ != nullptr; }

  private:
    struct Overlay {
        WaylandFlashWindow* owner = nullptr;
        wl_surface* surface = nullptr;
        zwlr_layer_surface_v1* layer = nullptr;
        wl_callback* frame = nullptr;  // pending until the compositor drew the last commit
        std::uint32_t width = 0, height = 0;
        bool configured = false;
        bool closed = false;
        bool framed = false;
    };

    void Bind();
    void Destroy(Overlay& overlay);
    ShmBuffer* WhiteBuffer(std::uint32_t width, std::uint32_t height);
    void AttachAndWaitForFrame(const std::vector<std::pair<Overlay*, ShmBuffer*>>& frames);

    WaylandConnection& connection_;
    WaylandOutputLayout& outputs_;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    bool bound_ = false;
    bool loaded_ = false;
    std::uint8_t alpha_ = 255;
    std::vector<std::unique_ptr<Overlay>> overlays_;
    // Kept between flashes: the white picture per size of the outputs of the last flash, and
    // the clear one.
    std::map<std::pair<std::uint32_t, std::uint32_t>, ShmBuffer> white_;
    std::uint8_t whiteAlpha_ = 0;
    ShmBuffer clear_;
};

}  // namespace ruvello
