// Output copies through ext-image-copy-capture-v1, the protocol newer compositors share.
#include <wayland-client.h>

#include "capture/wayland/output_copy_wayland.h"
#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "platform/wayland/wayland_connection_wayland.h"

namespace ruvello {
namespace {

class ImageCopyCaptureCopier : public OutputCopier {
  public:
    ImageCopyCaptureCopier(WaylandConnection& connection,
                           ext_output_image_capture_source_manager_v1* sources,
                           ext_image_copy_capture_manager_v1* manager)
        : OutputCopier(connection), sources_(sources), manager_(manager) {}
    ~ImageCopyCaptureCopier() override {
        ext_image_copy_capture_manager_v1_destroy(manager_);
        ext_output_image_capture_source_manager_v1_destroy(sources_);
    }

  protected:
    // A session of its own for each shot: its first frame is copied at once, where a later
    // frame of a kept session may wait for the screen to change.
    void Start(Job& job, wl_output* output) override {
        job.source = ext_output_image_capture_source_manager_v1_create_source(sources_, output);
        job.session = ext_image_copy_capture_manager_v1_create_session(manager_, job.source, 0);
        ext_image_copy_capture_session_v1_add_listener(job.session, &kSessionListener, &job);
    }

    void End(Job& job) override {
        ReleaseObject(job.frame, ext_image_copy_capture_frame_v1_destroy);
        ReleaseObject(job.session, ext_image_copy_capture_session_v1_destroy);
        ReleaseObject(job.source, ext_image_capture_source_v1_destroy);
    }

  private:
    static Job& Of(void* data) { return *static_cast<Job*>(data); }

    static void OnDone(void* data, ext_image_copy_capture_session_v1* session) {
        Job& job = Of(data);
        if (job.frame || job.done || job.failed) {
            return;  // constraints sent again while the frame runs
        }
        job.stride = 4 * job.width;
        if (!job.copier->ReadyBuffer(job)) {
            return;
        }
        job.copyAsked = true;
        job.frame = ext_image_copy_capture_session_v1_create_frame(session);
        ext_image_copy_capture_frame_v1_add_listener(job.frame, &kFrameListener, &job);
        ext_image_copy_capture_frame_v1_attach_buffer(job.frame, job.kept->buffer.Buffer());
        ext_image_copy_capture_frame_v1_damage_buffer(job.frame, 0, 0, job.width, job.height);
        ext_image_copy_capture_frame_v1_capture(job.frame);
    }

    static constexpr ext_image_copy_capture_session_v1_listener kSessionListener = {
        .buffer_size =
            [](void* data, ext_image_copy_capture_session_v1*, std::uint32_t width,
               std::uint32_t height) {
                Of(data).width = static_cast<std::int32_t>(width);
                Of(data).height = static_cast<std::int32_t>(height);
            },
        .shm_format =
            [](void* data, ext_image_copy_capture_session_v1*, std::uint32_t format) {
                Job& job = Of(data);
                if (!job.formatChosen && OrderOfShmFormat(format)) {
                    job.formatChosen = true;
                    job.format = format;
                }
            },
        .dmabuf_device = [](void*, ext_image_copy_capture_session_v1*, wl_array*) {},
        .dmabuf_format = [](void*, ext_image_copy_capture_session_v1*, std::uint32_t, wl_array*) {},
        .done = &OnDone,
        .stopped = [](void* data, ext_image_copy_capture_session_v1*) { Of(data).failed = true; },
    };

    static constexpr ext_image_copy_capture_frame_v1_listener kFrameListener = {
        .transform =
            [](void* data, ext_image_copy_capture_frame_v1*, std::uint32_t transform) {
                Of(data).transform = static_cast<OutputTransform>(transform & 7);
            },
        .damage = [](void*, ext_image_copy_capture_frame_v1*, std::int32_t, std::int32_t,
                     std::int32_t, std::int32_t) {},
        .presentation_time = [](void*, ext_image_copy_capture_frame_v1*, std::uint32_t,
                                std::uint32_t, std::uint32_t) {},
        .ready = [](void* data, ext_image_copy_capture_frame_v1*) { Of(data).done = true; },
        .failed = [](void* data, ext_image_copy_capture_frame_v1*,
                     std::uint32_t) { Of(data).failed = true; },
    };

    ext_output_image_capture_source_manager_v1* sources_;
    ext_image_copy_capture_manager_v1* manager_;
};

}  // namespace

std::unique_ptr<OutputCopier> MakeImageCopyCaptureCopier(WaylandConnection& connection) {
    if (!connection.Has(ext_output_image_capture_source_manager_v1_interface.name) ||
        !connection.Has(ext_image_copy_capture_manager_v1_interface.name)) {
        return nullptr;
    }
    auto* sources = static_cast<ext_output_image_capture_source_manager_v1*>(
        connection.Bind(ext_output_image_capture_source_manager_v1_interface, 1));
    auto* manager = static_cast<ext_image_copy_capture_manager_v1*>(
        connection.Bind(ext_image_copy_capture_manager_v1_interface, 1));
    return std::make_unique<ImageCopyCaptureCopier>(connection, sources, manager);
}

}  // namespace ruvello
