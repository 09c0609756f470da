// Output copies through wlr-screencopy-unstable-v1 (wlroots compositors: sway, river, labwc,
// Wayfire, Hyprland ...).
#include <wayland-client.h>

#include <algorithm>

#include "capture/wayland/output_copy_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace ruvello {
namespace {

// An output that did not change since its last copy is not copied again: the copy asks for
// changes only (copy_with_damage), and a second copy of one pixel, on a manager of its own so
// that it cannot touch the first one's record of changes, is answered at the compositor's next
// look at the output. When it comes first, nothing changed, and the first copy is cancelled.
class WlrScreencopyCopier : public OutputCopier {
  public:
    WlrScreencopyCopier(WaylandConnection& connection, zwlr_screencopy_manager_v1* manager,
                        zwlr_screencopy_manager_v1* probes, std::uint32_t version)
        : OutputCopier(connection), manager_(manager), probes_(probes), version_(version) {}
    ~WlrScreencopyCopier() override {
        ReleaseObject(probes_, zwlr_screencopy_manager_v1_destroy);
        zwlr_screencopy_manager_v1_destroy(manager_);
    }

  protected:
    void Start(Job& job, wl_output* output) override {
        job.wlrFrame = zwlr_screencopy_manager_v1_capture_output(manager_, 0, output);
        zwlr_screencopy_frame_v1_add_listener(job.wlrFrame, &kListener, &job);
        if (job.changesAllowed) {
            job.probeFrame =
                zwlr_screencopy_manager_v1_capture_output_region(probes_, 0, output, 0, 0, 1, 1);
            zwlr_screencopy_frame_v1_add_listener(job.probeFrame, &kProbeListener, &job);
        }
    }

    void End(Job& job) override {
        ReleaseObject(job.wlrFrame, zwlr_screencopy_frame_v1_destroy);
        ReleaseObject(job.probeFrame, zwlr_screencopy_frame_v1_destroy);
    }

    bool CopiesChangesOnly() const override {
        return probes_ && version_ >= ZWLR_SCREENCOPY_FRAME_V1_COPY_WITH_DAMAGE_SINCE_VERSION;
    }

  private:
    static Job& Of(void* data) { return *static_cast<Job*>(data); }

    // The buffer is asked for once its shape is known: after the last offer (version 3), or
    // at the only one (older versions). A buffer of a new shape holds nothing yet: a copy of
    // changes only that finds none leaves it empty, and the caller asks for a whole one.
    static void Copy(Job& job) {
        if (!job.kept->buffer.Has(job.width, job.height, job.stride, job.format)) {
            job.kept->holdsCopy = false;
            job.marked = false;  // the marks were in the buffer this one replaces
        }
        if (!job.copier->ReadyBuffer(job)) {
            return;
        }
        job.changesOnly = job.changesAllowed;
        job.copyAsked = true;
        if (job.changesOnly) {
            zwlr_screencopy_frame_v1_copy_with_damage(job.wlrFrame, job.kept->buffer.Buffer());
        } else {
            zwlr_screencopy_frame_v1_copy(job.wlrFrame, job.kept->buffer.Buffer());
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

    // Where the output changed since the last copy with changes; rectangles beyond the room
    // kept for them join the last one (no memory is had during a dispatch).
    static void OnDamage(void* data, zwlr_screencopy_frame_v1*, std::uint32_t x, std::uint32_t y,
                         std::uint32_t width, std::uint32_t height) {
        std::vector<PixelRect>& changed = Of(data).changed;
        const PixelRect rect{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                             static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
        if (changed.size() < changed.capacity()) {
            changed.push_back(rect);
            return;
        }
        PixelRect& last = changed.back();
        const std::int32_t right = std::max(last.x + last.width, rect.x + rect.width);
        const std::int32_t bottom = std::max(last.y + last.height, rect.y + rect.height);
        last.x = std::min(last.x, rect.x);
        last.y = std::min(last.y, rect.y);
        last.width = right - last.x;
        last.height = bottom - last.y;
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
        .damage = &OnDamage,
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

    static void CopyProbe(Job& job) {
        if (job.copier->ReadyProbe(job, job.probeWidth, job.probeHeight, job.probeStride,
                                   job.probeFormat)) {
            zwlr_screencopy_frame_v1_copy(job.probeFrame, job.kept->probe.Buffer());
        }
    }

    static void OnProbeBuffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format,
                              std::uint32_t width, std::uint32_t height, std::uint32_t stride) {
        Job& job = Of(data);
        if (job.probeFormat != 0 || !OrderOfShmFormat(format)) {
            return;
        }
        job.probeFormat = format;
        job.probeWidth = static_cast<std::int32_t>(width);
        job.probeHeight = static_cast<std::int32_t>(height);
        job.probeStride = static_cast<std::int32_t>(stride);
        if (static_cast<WlrScreencopyCopier*>(job.copier)->version_ < 3) {
            CopyProbe(job);
        }
    }

    static constexpr zwlr_screencopy_frame_v1_listener kProbeListener = {
        .buffer = &OnProbeBuffer,
        .flags = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t) {},
        .ready = [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                    std::uint32_t) { Of(data).probeDone = true; },
        .failed = [](void* data, zwlr_screencopy_frame_v1*) { Of(data).probeFailed = true; },
        .damage = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
                     std::uint32_t) {},
        .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t,
                           std::uint32_t) {},
        .buffer_done =
            [](void* data, zwlr_screencopy_frame_v1*) {
                Job& job = Of(data);
                if (job.probeFormat != 0) {
                    CopyProbe(job);
                } else {
                    job.probeFailed = true;
                }
            },
    };

    zwlr_screencopy_manager_v1* manager_;
    zwlr_screencopy_manager_v1* probes_;
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
    // A second binding: the compositor keeps the record of changes per manager.
    auto* probes = static_cast<zwlr_screencopy_manager_v1*>(
        connection.Bind(zwlr_screencopy_manager_v1_interface, 3));
    return std::make_unique<WlrScreencopyCopier>(connection, manager, probes, version);
}

}  // namespace ruvello
