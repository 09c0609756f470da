#include "flash/flash_window_wayland.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

#include "platform/wayland/wayland_connection_wayland.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace ruvello {
namespace {

// Generous limits: a compositor shows a new frame within a refresh or two.
constexpr int kConfigureTimeoutMs = 1000;
constexpr int kFrameTimeoutMs = 1000;

}  // namespace

WaylandFlashWindow::WaylandFlashWindow(WaylandConnection& connection, WaylandOutputLayout& outputs)
    : connection_(connection), outputs_(outputs) {}

WaylandFlashWindow::~WaylandFlashWindow() {
    for (auto& overlay : overlays_) {
        Destroy(*overlay);
    }
    white_.clear();
    clear_.Release();
    ReleaseObject(layerShell_, zwlr_layer_shell_v1_destroy);
    ReleaseObject(shm_, wl_shm_destroy);
    ReleaseObject(compositor_, wl_compositor_destroy);
}

void WaylandFlashWindow::Bind() {
    if (bound_) {
        return;
    }
    bound_ = true;
    compositor_ = static_cast<wl_compositor*>(connection_.Bind(wl_compositor_interface, 4));
    shm_ = static_cast<wl_shm*>(connection_.Bind(wl_shm_interface, 1));
    if (compositor_ && shm_) {
        layerShell_ =
            static_cast<zwlr_layer_shell_v1*>(connection_.Bind(zwlr_layer_shell_v1_interface, 4));
    }
}

void WaylandFlashWindow::Load() {
    Bind();
    loaded_ = true;
}

ShmBuffer* WaylandFlashWindow::WhiteBuffer(std::uint32_t width, std::uint32_t height) {
    if (whiteAlpha_ != alpha_) {
        white_.clear();  // another opacity: paint anew
        whiteAlpha_ = alpha_;
    }
    ShmBuffer& buffer = white_[{width, height}];
    if (!buffer.Buffer()) {
        const auto w = static_cast<std::int32_t>(width), h = static_cast<std::int32_t>(height);
        if (!buffer.Ready(shm_, w, h, 4 * w, WL_SHM_FORMAT_ARGB8888)) {
            return nullptr;
        }
        // Premultiplied white at the flash's opacity: every byte is the alpha.
        std::memset(buffer.Data(), alpha_, buffer.Stride() * static_cast<std::size_t>(h));
    }
    return &buffer;
}

void WaylandFlashWindow::Show() {
    if (!loaded_ || !layerShell_ || !overlays_.empty()) {
        return;
    }
    static const zwlr_layer_surface_v1_listener listener = {
        .configure =
            [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width,
               std::uint32_t height) {
                auto* overlay = static_cast<Overlay*>(data);
                overlay->width = width;
                overlay->height = height;
                overlay->configured = true;
                zwlr_layer_surface_v1_ack_configure(layer, serial);
            },
        .closed = [](void* data,
                     zwlr_layer_surface_v1*) { static_cast<Overlay*>(data)->closed = true; },
    };
    wl_region* noInput = wl_compositor_create_region(compositor_);
    for (const auto& output : outputs_.Outputs()) {
        auto overlay = std::make_unique<Overlay>();
        overlay->owner = this;
        overlay->surface = wl_compositor_create_surface(compositor_);
        wl_surface_set_input_region(overlay->surface, noInput);
        overlay->layer = zwlr_layer_shell_v1_get_layer_surface(
            layerShell_, overlay->surface, output->output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
            "ruvello-flash");
        zwlr_layer_surface_v1_add_listener(overlay->layer, &listener, overlay.get());
        zwlr_layer_surface_v1_set_anchor(overlay->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(overlay->layer, -1);  // over panels too
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            overlay->layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
        wl_surface_commit(overlay->surface);
        overlays_.push_back(std::move(overlay));
    }
    wl_region_destroy(noInput);
    connection_.DispatchUntil(
        [this] {
            return std::all_of(overlays_.begin(), overlays_.end(),
                               [](const auto& o) { return o->configured || o->closed; });
        },
        kConfigureTimeoutMs);

    // White is kept for the sizes of these outputs only (33 MB for each 4K size), and given
    // back before new white is painted.
    std::erase_if(white_, [this](const auto& kept) {
        return std::none_of(overlays_.begin(), overlays_.end(), [&kept](const auto& o) {
            return o->configured && !o->closed && kept.first == std::pair(o->width, o->height);
        });
    });
    std::vector<std::pair<Overlay*, ShmBuffer*>> frames;
    for (auto& overlay : overlays_) {
        if (overlay->configured && !overlay->closed) {
            if (ShmBuffer* white = WhiteBuffer(overlay->width, overlay->height)) {
                frames.emplace_back(overlay.get(), white);
            }
        }
    }
    AttachAndWaitForFrame(frames);
}

// Attaches each buffer and waits until the compositor has drawn every surface with it.
void WaylandFlashWindow::AttachAndWaitForFrame(
    const std::vector<std::pair<Overlay*, ShmBuffer*>>& frames) {
    static const wl_callback_listener listener = {[](void* data, wl_callback*, std::uint32_t) {
        auto* overlay = static_cast<Overlay*>(data);
        overlay->framed = true;
        wl_callback_destroy(overlay->frame);
        overlay->frame = nullptr;
    }};
    for (const auto& [overlay, buffer] : frames) {
        if (overlay->frame) {
            wl_callback_destroy(overlay->frame);  // an earlier wait that gave up
        }
        overlay->framed = false;
        wl_surface_attach(overlay->surface, buffer->Buffer(), 0, 0);
        wl_surface_damage_buffer(overlay->surface, 0, 0, buffer->Width(), buffer->Height());
        overlay->frame = wl_surface_frame(overlay->surface);
        wl_callback_add_listener(overlay->frame, &listener, overlay);
        wl_surface_commit(overlay->surface);
    }
    connection_.DispatchUntil(
        [&frames] {
            return std::all_of(frames.begin(), frames.end(),
                               [](const auto& f) { return f.first->framed || f.first->closed; });
        },
        kFrameTimeoutMs);
}

void WaylandFlashWindow::Destroy(Overlay& overlay) {
    ReleaseObject(overlay.frame, wl_callback_destroy);
    ReleaseObject(overlay.layer, zwlr_layer_surface_v1_destroy);
    ReleaseObject(overlay.surface, wl_surface_destroy);
}

void WaylandFlashWindow::Unload() {
    loaded_ = false;
    if (overlays_.empty()) {
        return;
    }
    // A surface that is destroyed gets no frame callback, so the overlay first turns clear and
    // the compositor's next frame, drawn without it, is waited for; then it goes.
    std::vector<std::pair<Overlay*, ShmBuffer*>> frames;
    if (clear_.Buffer() || clear_.Ready(shm_, 1, 1, 4, WL_SHM_FORMAT_ARGB8888)) {
        std::memset(clear_.Data(), 0, 4);
        for (auto& overlay : overlays_) {
            if (overlay->configured && !overlay->closed) {
                frames.emplace_back(overlay.get(), &clear_);
            }
        }
    }
    AttachAndWaitForFrame(frames);
    for (auto& overlay : overlays_) {
        Destroy(*overlay);
    }
    overlays_.clear();
    connection_.Roundtrip(kFrameTimeoutMs);
}

}  // namespace ruvello
