#pragma once

#include <cstdint>
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
class OutputCopier {
  public:
    explicit OutputCopier(WaylandConnection& connection);
    virtual ~OutputCopier();
    OutputCopier(const OutputCopier&) = delete;
    OutputCopier& operator=(const OutputCopier&) = delete;

    // One picture per output of the layout, placed where the output sits, valid until the next
    // call. An output that goes while the copies run leaves the shot. False when any other
    // output could not be copied within `timeoutMs` (a picture with a hole is no picture of the
    // screen), or when no output is left.
    bool CopyAll(const WaylandOutputLayout& layout, std::vector<OutputPicture>& pictures,
                 int timeoutMs);

    // One output's copy while it runs; the listeners of the protocol objects fill it.
    struct Job {
        OutputCopier* copier = nullptr;
        std::uint32_t global = 0;  // the output's; the waits may remove it
        ShmBuffer* buffer = nullptr;
        bool done = false;
        bool failed = false;
        bool yInverted = false;
        OutputTransform transform = OutputTransform::kNormal;
        // The buffer shape the compositor asked for.
        std::uint32_t format = 0;
        std::int32_t width = 0, height = 0, stride = 0;
        bool formatChosen = false;
        zwlr_screencopy_frame_v1* wlrFrame = nullptr;
        ext_image_capture_source_v1* source = nullptr;
        ext_image_copy_capture_session_v1* session = nullptr;
        ext_image_copy_capture_frame_v1* frame = nullptr;
    };

    // Readies the job's buffer in the shape it chose; false (and the job failed) when it could
    // not. For the protocol listeners.
    bool ReadyBuffer(Job& job);

  protected:
    // Asks the compositor for the copy of `output`; its events finish the job.
    virtual void Start(Job& job, wl_output* output) = 0;
    // Destroys the job's protocol objects.
    virtual void End(Job& job) = 0;

    WaylandConnection& connection_;

  private:
    wl_shm* shm_ = nullptr;
    // By output global, kept between shots; a gone output's buffer is given back after the
    // shot, when no picture can refer to it.
    std::unordered_map<std::uint32_t, ShmBuffer> buffers_;
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
