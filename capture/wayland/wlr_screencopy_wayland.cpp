// Output copies through wlr-screencopy-unstable-v1 (wlroots compositors: sway, river, labwc,
// Wayfire, Hyprland ...).
#include <wayland-client.h>

#include "capture/wayland/output_copy_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace ruvello {
namespace {

class WlrScreencopyCopier : public OutputCopier {
  public:
    WlrScreencopyCopier(WaylandConnection& connection, zwlr_screencopy_manager_v1* manager,
                        std::uint32_t version)
        : OutputCopier(connection), manager_(manager), version_(version) {}
    ~WlrScreencopyCopier() override { zwlr_screencopy_manager_v1_destroy(manager_); }

  protected:
    void Start(Job& job, wl_output* output) override {
        job.wlrFrame = zwlr_screencopy_manager_v1_capture_output(manager_, 0, output);
        zwlr_screencopy_frame_v1_add_listener(job.wlrFrame, &kListener, &job);
    }

    void End(Job& job) override { ReleaseObject(job.wlrFrame, zwlr_screencopy_frame_v1_destroy); }

  private:
    static Job& Of(void* data) { return *static_cast<Job*>(data); }

    // The buffer is asked for once its shape is known: after the last offer (version 3), or
    // at the only one (older versions).
    static void Copy(Job& job) {
        if (job.copier->ReadyBuffer(job)) {
            zwlr_screencopy_frame_v1_copy(job.wlrFrame, job.buffer->Buffer());
        }
    }

    static void OnBuffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format,
                         std::uint32_t width, std::uint32_t height, std::uint32_t stride) {
        Job& job = Of(data);
        if (job.formatChosen || !OrderOfShmFormat(format)) {
            return;
        }
        job.formatChosen = true;
        job.format = format;
        job.width = static_cast<std::int32_t>(width);
        job.height = static_cast<std::int32_t>(height);
        job.stride = static_cast<std::int32_t>(stride);
        auto* self = static_cast<WlrScreencopyCopier*>(job.copier);
        if (self->version_ < 3) {
            Copy(job);
        }
    }

    static constexpr zwlr_screencopy_frame_v1_listener kListener = {
        .buffer = &OnBuffer,
        .flags =
            [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
                Of(data).yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
            },
        .ready = [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                    std::uint32_t) { Of(data).done = true; },
        .failed = [](void* data, zwlr_screencopy_frame_v1*) { Of(data).failed = true; },
        .damage = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
                     std::uint32_t) {},
        .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                           std::uint32_t) {},
        .buffer_done =
            [](void* data, zwlr_screencopy_frame_v1*) {
                Job& job = Of(data);
                if (job.formatChosen) {
                    Copy(job);
                } else {
                    job.failed = true;  // only formats this program cannot read
                }
            },
    };

    zwlr_screencopy_manager_v1* manager_;
    std::uint32_t version_;
};

}  // namespace

std::unique_ptr<OutputCopier> MakeWlrScreencopyCopier(WaylandConnection& connection) {
    std::uint32_t version = 0;
    auto* manager = static_cast<zwlr_screencopy_manager_v1*>(
        connection.Bind(zwlr_screencopy_manager_v1_interface, 3, &version));
    if (!manager) {
        return nullptr;
    }
    return std::make_unique<WlrScreencopyCopier>(connection, manager, version);
}

}  // namespace ruvello
