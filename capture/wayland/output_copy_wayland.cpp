#include "capture/wayland/output_copy_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

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

namespace {

// The most rectangles kept of what changed in one copy; more are joined into the last one.
constexpr std::size_t kChangedRects = 16;

std::uint32_t PixelAt(const std::uint8_t* data, std::size_t offset) {
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, data + offset, sizeof pixel);
    return pixel;
}

void SetPixel(std::uint8_t* data, std::size_t offset, std::uint32_t pixel) {
    std::memcpy(data + offset, &pixel, sizeof pixel);
}

// A value for mark `index` of shot `shot` that no screen is likely to show at that place: the
// three colour bytes of a well-mixed number, the fourth byte left as it was.
std::uint32_t MarkValue(std::uint32_t shot, int index, std::uint32_t was) {
    std::uint64_t z =
        (std::uint64_t{shot} << 8 | static_cast<std::uint64_t>(index)) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return (static_cast<std::uint32_t>(z) & 0x00FFFFFFu) | (was & 0xFF000000u);
}

// Marks pixels spread over the kept buffer, remembering what they held.
void Mark(OutputCopier::Job& job, std::uint32_t shot) {
    const ShmBuffer& buffer = job.kept->buffer;
    std::uint8_t* data = buffer.Data();
    if (!data) {
        return;
    }
    for (int i = 0; i < OutputCopier::Job::kMarks; ++i) {
        const auto x = static_cast<std::size_t>((2 * ((7 * i) % 16) + 1) * buffer.Width() / 32);
        const auto y = static_cast<std::size_t>((2 * i + 1) * buffer.Height() / 32);
        job.markAt[i] = y * buffer.Stride() + 4 * x;
        job.markWas[i] = PixelAt(data, job.markAt[i]);
        job.mark[i] = MarkValue(shot, i, job.markWas[i]);
        SetPixel(data, job.markAt[i], job.mark[i]);
    }
    job.marked = true;
}

// Whether the compositor wrote over the marks; if not, they get back what they held.
bool CopiedOverMarks(OutputCopier::Job& job) {
    std::uint8_t* data = job.kept->buffer.Data();
    if (!job.marked || !data) {
        return false;
    }
    job.marked = false;
    for (int i = 0; i < OutputCopier::Job::kMarks; ++i) {
        if ((PixelAt(data, job.markAt[i]) & 0x00FFFFFFu) != (job.mark[i] & 0x00FFFFFFu)) {
            return true;  // a whole copy writes every pixel: the rest are the new picture's too
        }
    }
    for (int i = 0; i < OutputCopier::Job::kMarks; ++i) {
        SetPixel(data, job.markAt[i], job.markWas[i]);
    }
    return false;
}

}  // namespace

OutputCopier::OutputCopier(WaylandConnection& connection) : connection_(connection) {
    shm_ = static_cast<wl_shm*>(connection_.Bind(wl_shm_interface, 1));
}

OutputCopier::~OutputCopier() {
    kept_.clear();
    ReleaseObject(shm_, wl_shm_destroy);
}

bool OutputCopier::ReadyBuffer(Job& job) {
    if (!job.formatChosen ||
        !job.kept->buffer.Ready(shm_, job.width, job.height, job.stride, job.format)) {
        job.failed = true;
        return false;
    }
    return true;
}

bool OutputCopier::ReadyProbe(Job& job, std::int32_t width, std::int32_t height,
                              std::int32_t stride, std::uint32_t format) {
    if (!job.kept->probe.Ready(shm_, width, height, stride, format)) {
        job.probeFailed = true;
        return false;
    }
    return true;
}

// Waits until every output's copy is over: made, failed, its output gone, or (for a copy of
// changes only) the probe answered first, so that nothing changed.
bool OutputCopier::Wait(std::vector<Job>& jobs, const WaylandOutputLayout& layout, int timeoutMs) {
    const auto over = [&layout](const Job& j) {
        return j.done || j.failed || !layout.Find(j.global) ||
               (j.changesOnly && j.copyAsked && (j.probeDone || j.probeFailed));
    };
    return connection_.DispatchUntil(
        [&jobs, &over] { return std::all_of(jobs.begin(), jobs.end(), over); }, timeoutMs);
}

// Cancels the copies of changes only that still wait for a change. The compositor may make one
// after all before it reads the cancel; the round trip waits until it has, so that nothing
// writes the buffers any more, and the marks show whether it did.
void OutputCopier::Settle(std::vector<Job>& jobs, int timeoutMs) {
    bool cancelled = false;
    for (Job& job : jobs) {
        if (job.changesOnly && !job.done && !job.failed) {
            End(job);
            cancelled = true;
        }
    }
    const bool settled = !cancelled || connection_.Roundtrip(timeoutMs);
    for (Job& job : jobs) {
        if (!job.marked || !job.changesOnly || job.done || job.failed) {
            job.marked = false;  // copied over, or a new buffer took the marked one's place
        } else if (!settled || job.probeFailed) {
            job.marked = false;
            job.failed = true;  // the compositor may still write the buffer
            job.kept->holdsCopy = false;
            probesFailed_ = probesFailed_ || job.probeFailed;
        } else if (CopiedOverMarks(job)) {
            job.copiedUnasked = true;
            job.done = true;
        }
    }
}

bool OutputCopier::CopyAll(const WaylandOutputLayout& layout, std::vector<OutputPicture>& pictures,
                           int timeoutMs, const Holds& holds) {
    pictures.clear();
    const auto& outputs = layout.Outputs();
    if (outputs.empty() || !shm_) {
        return false;
    }
    ++shots_;
    const WaitDeadline deadline(timeoutMs);
    // All memory first: once a copy runs, the compositor's events point into `jobs`, and an
    // exception would leave them pointing at freed memory.
    std::vector<Job> jobs(outputs.size());
    pictures.reserve(outputs.size());
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        Job& job = jobs[i];
        job.copier = this;
        job.global = outputs[i]->global;
        job.kept = &kept_[outputs[i]->global];
        job.transform = outputs[i]->transform;
        job.changed.reserve(kChangedRects);
        job.changesAllowed = !probesFailed_ && CopiesChangesOnly() && holds;
    }
    for (Job& job : jobs) {
        if (job.changesAllowed) {
            Mark(job, shots_);
        }
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        Start(jobs[i], outputs[i]->output);
    }
    bool whole = Wait(jobs, layout, deadline.LeftMs());
    Settle(jobs, deadline.LeftMs());
    for (Job& job : jobs) {
        End(job);
    }
    for (Job& job : jobs) {
        const WaylandOutput* output = layout.Find(job.global);
        if (!output) {
            continue;  // gone during the shot; the next one takes the outputs there are then
        }
        const auto order = OrderOfShmFormat(job.format);
        const bool still = job.changesOnly && !job.done && job.probeDone;
        if ((!job.done && !still) || job.failed || !order) {
            whole = false;
            job.kept->holdsCopy = false;
            continue;
        }
        const ShmBuffer& buffer = job.kept->buffer;
        OutputPicture picture;
        picture.id = job.global;
        picture.place = output->Place();
        picture.width = buffer.Width();
        picture.height = buffer.Height();
        picture.stride = buffer.Stride();
        picture.order = *order;
        picture.yInverted = job.yInverted;
        picture.transform = job.transform;
        if (still) {
            picture.changed.emplace();  // what the buffer or the caller holds is current
            picture.data = job.kept->holdsCopy ? buffer.Data() : nullptr;
        } else {
            picture.data = buffer.Data();
            if (job.changesOnly && !job.copiedUnasked) {
                picture.changed = std::move(job.changed);
            }
            job.kept->holdsCopy = true;
        }
        job.kept->stillLastShot = still;
        pictures.push_back(std::move(picture));
    }
    // Buffers of outputs that are gone are given back: the pictures are of present ones only.
    std::erase_if(kept_, [&layout](const auto& entry) { return !layout.Find(entry.first); });
    return whole && !pictures.empty();
}

void OutputCopier::GiveBackStillBuffers(const WaylandOutputLayout& layout, const Holds& holds) {
    for (auto& [global, kept] : kept_) {
        const WaylandOutput* output = layout.Find(global);
        if (kept.stillLastShot && kept.holdsCopy && output &&
            holds(global, output->Place(), kept.buffer.Width(), kept.buffer.Height())) {
            kept.buffer.GiveBackPages();
            kept.holdsCopy = false;
        }
    }
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
