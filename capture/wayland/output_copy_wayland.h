#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "capture/output_compose.h"
#include "platform/wayland/output_layout_wayland.h"
#include "platform/wayland/shm_buffer_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"

struct wl_output;
struct wl_shm;
struct zwlr_screencopy_frame_v1;
struct ext_image_capture_source_v1;
struct ext_image_copy_capture_session_v1;
struct ext_image_copy_capture_frame_v1;

namespace ruvello {

// How a wl_shm format stores a pixel, for the four formats of 8-bit channels in 32 bits.
std::optional<PixelOrder> OrderOfShmFormat(std::uint32_t format);

// Copies the current picture of every output into wl_shm buffers of the program's own, through
// one screen-copy protocol; the copies of all outputs run at once.
//
// Where the protocol lets the compositor say what changed (wlr-screencopy's copies with damage),
// an output that did not change since its last copy is not copied again: its picture then says
// that nothing changed, and comes without pixels where the caller holds them already.
class OutputCopier {
  public:
    explicit OutputCopier(WaylandConnection& connection);
    virtual ~OutputCopier();
    OutputCopier(const OutputCopier&) = delete;
    OutputCopier& operator=(const OutputCopier&) = delete;

    // Whether the caller holds the last picture of output `id` (its registry name) at `place`,
    // from a buffer of that size.
    using Holds = std::function<bool(std::uint32_t id, const LayoutRect& place, std::int32_t width,
                                     std::int32_t height)>;

    // One picture per output of the layout, placed where the output sits, valid until the next
    // call. An output that goes while the copies run leaves the shot. False when any other
    // output could not be copied within `timeoutMs` (a picture with a hole is no picture of the
    // screen), or when no output is left. With `holds`, outputs are copied only if they changed;
    // a picture of one that did not comes with the pixels of its buffer where it holds its last
    // copy, else without (the caller holds them, or asks again without `holds`).
    bool CopyAll(const WaylandOutputLayout& layout, std::vector<OutputPicture>& pictures,
                 int timeoutMs, const Holds& holds = {});

    // Gives back the memory of the buffers of outputs that did not change in the last shot
    // and that the caller holds (`holds`): the next copy of such an output fills it again.
    void GiveBackStillBuffers(const WaylandOutputLayout& layout, const Holds& holds);

    // What the program keeps of one output between shots.
    struct Kept {
        ShmBuffer buffer;
        ShmBuffer probe;         // a pixel's copy that tells when the compositor has looked
        bool holdsCopy = false;  // `buffer` holds the output's last copy
        bool stillLastShot = false;
    };

    // One output's copy while it runs; the listeners of the protocol objects fill it.
    struct Job {
        OutputCopier* copier = nullptr;
        std::uint32_t global = 0;  // the output's; the waits may remove it
        Kept* kept = nullptr;
        bool done = false;
        bool failed = false;
        bool yInverted = false;
        OutputTransform transform = OutputTransform::kNormal;
        // The buffer shape the compositor asked for.
        std::uint32_t format = 0;
        std::int32_t width = 0, height = 0, stride = 0;
        bool formatChosen = false;
        // Copied only if it changed since its last copy: the compositor then says where, and
        // otherwise leaves it waiting, which the probe's answer shows.
        bool changesOnly = false;
        bool changesAllowed = false;  // what the buffer holds may stand for the picture
        std::vector<PixelRect> changed;
        bool copyAsked = false;
        // The probe: a copy of one pixel, answered at the compositor's next look at the output.
        std::uint32_t probeFormat = 0;
        std::int32_t probeWidth = 0, probeHeight = 0, probeStride = 0;
        bool probeDone = false;
        bool probeFailed = false;
        // Pixels of the kept buffer overwritten before a copy of changes only, and what they
        // were: a copy that the compositor made after all (just as the program cancelled it)
        // shows in them.
        static constexpr int kMarks = 16;
        std::array<std::size_t, kMarks> markAt{};
        std::array<std::uint32_t, kMarks> markWas{};
        std::array<std::uint32_t, kMarks> mark{};
        bool marked = false;
        bool copiedUnasked = false;
        zwlr_screencopy_frame_v1* wlrFrame = nullptr;
        zwlr_screencopy_frame_v1* probeFrame = nullptr;
        ext_image_capture_source_v1* source = nullptr;
        ext_image_copy_capture_session_v1* session = nullptr;
        ext_image_copy_capture_frame_v1* frame = nullptr;
    };

    // Readies the job's buffer in the shape it chose; false (and the job failed) when it could
    // not. For the protocol listeners.
    bool ReadyBuffer(Job& job);
    bool ReadyProbe(Job& job, std::int32_t width, std::int32_t height, std::int32_t stride,
                    std::uint32_t format);

  protected:
    // Asks the compositor for the copy of `output`; its events finish the job.
    virtual void Start(Job& job, wl_output* output) = 0;
    // Destroys the job's protocol objects.
    virtual void End(Job& job) = 0;
    // Whether the protocol can copy only outputs that changed.
    virtual bool CopiesChangesOnly() const { return false; }

    WaylandConnection& connection_;

  private:
    bool Wait(std::vector<Job>& jobs, const WaylandOutputLayout& layout, int timeoutMs);
    void Settle(std::vector<Job>& jobs, int timeoutMs);

    wl_shm* shm_ = nullptr;
    std::uint32_t shots_ = 0;
    bool probesFailed_ = false;  // a compositor that cannot copy one pixel: whole copies only
    // By output global, kept between shots; a gone output's buffers are given back after the
    // shot, when no picture can refer to them.
    std::unordered_map<std::uint32_t, Kept> kept_;
};

// The copier of one protocol; nullptr when the compositor does not offer it.
std::unique_ptr<OutputCopier> MakeImageCopyCaptureCopier(WaylandConnection& connection);
std::unique_ptr<OutputCopier> MakeWlrScreencopyCopier(WaylandConnection& connection);

// The copier of the protocol the compositor offers: ext-image-copy-capture-v1 first, then
// wlr-screencopy-unstable-v1; nullptr when it offers neither.
std::unique_ptr<OutputCopier> MakeOutputCopier(WaylandConnection& connection);
// Whether the compositor offers a screen-copy protocol this program speaks.
bool OffersScreenCopy(const WaylandConnection& connection);

}  // namespace ruvello
