#include "capture/wayland/output_copy_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"

#include <wayland-client.h>

#include <algorithm>

namespace ruvello {

std::optional<PixelOrder> OrderOfShmFormat(std::uint32_t format) {
    switch (format) {
        case WL_SHM_FORMAT_ARGB8888:
        case WL_SHM_FORMAT_XRGB8888:
            return PixelOrder::kBgrx;  // little-endian words: B, G, R, A in memory
        case WL_SHM_FORMAT_ABGR8888:
        case WL_SHM_FORMAT_XBGR8888:
            return PixelOrder::kRgbx;
        default:
            return std::nullopt;
    }
}

OutputCopier::OutputCopier(WaylandConnection& connection) : connection_(connection) {
    shm_ = static_cast<wl_shm*>(connection_.Bind(wl_shm_interface, 1));
}

OutputCopier::~OutputCopier() {
    buffers_.clear();
    ReleaseObject(shm_, wl_shm_destroy);
}

bool OutputCopier::ReadyBuffer(Job& job) {
    if (!job.formatChosen ||
        !job.buffer->Ready(shm_, job.width, job.height, job.stride, job.format)) {
        job.failed = true;
        return false;
    }
    return true;
}

bool OutputCopier::CopyAll(const WaylandOutputLayout& layout, std::vector<OutputPicture>& pictures,
                           int timeoutMs) {
    pictures.clear();
    const auto& outputs = layout.Outputs();
    if (outputs.empty() || !shm_) {
        return false;
    }
    // All memory first: once a copy runs, the compositor's events point into `jobs`, and an
    // exception would leave them pointing at freed memory.
    std::vector<Job> jobs(outputs.size());
    pictures.reserve(outputs.size());
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        jobs[i].copier = this;
        jobs[i].global = outputs[i]->global;
        jobs[i].buffer = &buffers_[outputs[i]->global];
        jobs[i].transform = outputs[i]->transform;
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        Start(jobs[i], outputs[i]->output);
    }
    // A job of an output removed meanwhile has nothing more to wait for.
    const auto over = [&layout](const Job& j) {
        return j.done || j.failed || !layout.Find(j.global);
    };
    bool whole = connection_.DispatchUntil(
        [&jobs, &over] { return std::all_of(jobs.begin(), jobs.end(), over); }, timeoutMs);
    for (Job& job : jobs) {
        End(job);
        const WaylandOutput* output = layout.Find(job.global);
        if (!output) {
            continue;  // gone during the shot; the next one takes the outputs there are then
        }
        const auto order = OrderOfShmFormat(job.format);
        if (!job.done || job.failed || !order) {
            whole = false;
            continue;
        }
        OutputPicture picture;
        picture.place = output->Place();
        picture.data = job.buffer->Data();
        picture.width = job.buffer->Width();
        picture.height = job.buffer->Height();
        picture.stride = job.buffer->Stride();
        picture.order = *order;
        picture.yInverted = job.yInverted;
        picture.transform = job.transform;
        pictures.push_back(picture);
    }
    // Buffers of outputs that are gone are given back: the pictures are of present ones only.
    std::erase_if(buffers_, [&layout](const auto& entry) { return !layout.Find(entry.first); });
    return whole && !pictures.empty();
}

std::unique_ptr<OutputCopier> MakeOutputCopier(WaylandConnection& connection) {
    if (auto copier = MakeImageCopyCaptureCopier(connection)) {
        return copier;
    }
    return MakeWlrScreencopyCopier(connection);
}

bool OffersScreenCopy(const WaylandConnection& connection) {
    return (connection.Has("ext_image_copy_capture_manager_v1") &&
            connection.Has("ext_output_image_capture_source_manager_v1")) ||
           connection.Has("zwlr_screencopy_manager_v1");
}

}  // namespace ruvello
