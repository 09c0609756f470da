#include "tests/wayland/test_compositor.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wayland-server.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <utility>

#include "ext-image-capture-source-v1-server-protocol.h"
#include "ext-image-copy-capture-v1-server-protocol.h"
#include "wlr-layer-shell-unstable-v1-server-protocol.h"
#include "wlr-screencopy-unstable-v1-server-protocol.h"
#include "xdg-output-unstable-v1-server-protocol.h"

namespace ruvello::wltest {

struct TestCompositor::Output {
    TestCompositor* compositor = nullptr;
    OutputSpec shape;
    wl_global* global = nullptr;
    bool removed = false;
    std::vector<wl_resource*> resources;  // wl_output
    std::vector<wl_resource*> xdgOutputs;
    std::vector<std::uint32_t> pixels;  // what it shows, 0xAARRGGBB, rows of shape.width
    int wholeCopies = 0;

    void Fill() {
        pixels.assign(
            static_cast<std::size_t>(shape.width) * static_cast<std::size_t>(shape.height),
            0xff000000u | shape.colour);
    }
};

// A rectangle of an output's pixels; empty when x1 >= x2 or y1 >= y2.
struct Box {
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool Empty() const { return x1 >= x2 || y1 >= y2; }
    void Join(const Box& other) {
        if (other.Empty()) {
            return;
        }
        if (Empty()) {
            *this = other;
            return;
        }
        x1 = std::min(x1, other.x1);
        y1 = std::min(y1, other.y1);
        x2 = std::max(x2, other.x2);
        y2 = std::max(y2, other.y2);
    }
};

// One binding of wlr-screencopy's manager, with its record of what changed on each output since
// its last copy of changes, as wlroots keeps it: a new record counts the whole output.
struct TestCompositor::CopyManager {
    TestCompositor* compositor = nullptr;
    std::map<Output*, Box> changed;
};

struct TestCompositor::Surface {
    TestCompositor* compositor = nullptr;
    wl_resource* resource = nullptr;
    bool attached = false;
    std::int32_t width = 0, height = 0;  // of the attached buffer
    std::vector<wl_resource*> frames;
    LayerSurface* layer = nullptr;
};

// One copy of one output, through either protocol; its resources are forgotten when the client
// destroys them.
struct TestCompositor::Copy {
    Output* output = nullptr;
    wl_resource* wlrFrame = nullptr;
    wl_resource* session = nullptr;
    wl_resource* frame = nullptr;
    wl_resource* buffer = nullptr;  // attached to `frame`, or the wlr frame's copy's
    bool over = false;
    CopyManager* manager = nullptr;  // the wlr frame's
    Box region;                      // the wlr frame's part of the output
    bool changesOnly = false;        // copy_with_damage: made once the output changed
    bool asked = false;              // the wlr frame's copy was asked for
};

// Watches every resource the client makes, so that the buffers it holds can be counted. The
// listeners come first: a listener's address is its record's.
struct TestCompositor::Watch {
    wl_listener created;
    std::vector<wl_resource*>* list = nullptr;
};

namespace {

// Why an ext-image-copy-capture frame failed (the protocol's failure_reason).
constexpr std::uint32_t kFailedBufferConstraints = 1;
constexpr std::uint32_t kFailedStopped = 2;

struct TrackedResource {
    wl_listener gone;
    std::vector<wl_resource*>* list = nullptr;
    wl_resource* resource = nullptr;
};

template <class T>
T* Data(wl_resource* resource) {
    return static_cast<T*>(wl_resource_get_user_data(resource));
}

template <class T>
void Erase(std::vector<T>& list, const T& item) {
    std::erase(list, item);
}

void DestroyResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}

// Copies the region of the output's pixels into the buffer, which must have its size.
template <class Output>
bool Fill(wl_resource* buffer, const Output& output, const Box& region) {
    wl_shm_buffer* shm = buffer ? wl_shm_buffer_get(buffer) : nullptr;
    const std::int32_t width = region.x2 - region.x1, height = region.y2 - region.y1;
    if (!shm || wl_shm_buffer_get_width(shm) != width || wl_shm_buffer_get_height(shm) != height) {
        return false;
    }
    wl_shm_buffer_begin_access(shm);
    auto* bytes = static_cast<std::uint8_t*>(wl_shm_buffer_get_data(shm));
    const auto stride = static_cast<std::size_t>(wl_shm_buffer_get_stride(shm));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* from =
            output.pixels.data() +
            static_cast<std::size_t>(region.y1 + y) * static_cast<std::size_t>(output.shape.width) +
            region.x1;
        std::memcpy(bytes + static_cast<std::size_t>(y) * stride, from,
                    4 * static_cast<std::size_t>(width));
    }
    wl_shm_buffer_end_access(shm);
    return true;
}

template <class Output>
Box Whole(const Output& output) {
    return {0, 0, output.shape.width, output.shape.height};
}

}  // namespace

// The request handlers of every protocol the test compositor speaks.
struct Protocol {
    using Output = TestCompositor::Output;
    using Surface = TestCompositor::Surface;
    using LayerSurface = TestCompositor::LayerSurface;
    using Copy = TestCompositor::Copy;
    using CopyManager = TestCompositor::CopyManager;

    // wl_output and xdg-output
    static void SendOutput(wl_resource* resource, const OutputSpec& shape) {
        const int version = wl_resource_get_version(resource);
        wl_output_send_geometry(resource, shape.x, shape.y, 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN,
                                "test", "test", WL_OUTPUT_TRANSFORM_NORMAL);
        wl_output_send_mode(resource, WL_OUTPUT_MODE_CURRENT, shape.width, shape.height, 60000);
        if (version >= WL_OUTPUT_SCALE_SINCE_VERSION) {
            wl_output_send_scale(resource, 1);
        }
        if (version >= WL_OUTPUT_NAME_SINCE_VERSION) {
            wl_output_send_name(resource, shape.name.c_str());
            wl_output_send_description(resource, shape.name.c_str());
        }
        if (version >= WL_OUTPUT_DONE_SINCE_VERSION) {
            wl_output_send_done(resource);
        }
    }
    static constexpr struct wl_output_interface kOutput = {.release = &DestroyResource};
    static void BindOutput(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
        auto* output = static_cast<Output*>(data);
        wl_resource* resource =
            wl_resource_create(client, &wl_output_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &kOutput, output, [](wl_resource* r) {
            Erase(Data<Output>(r)->resources, r);
        });
        output->resources.push_back(resource);
        SendOutput(resource, output->shape);
    }
    static void SendXdgOutput(wl_resource* xdg, wl_resource* output, const OutputSpec& shape) {
        const int version = wl_resource_get_version(xdg);
        zxdg_output_v1_send_logical_position(xdg, shape.x, shape.y);
        zxdg_output_v1_send_logical_size(xdg, shape.width, shape.height);
        if (version >= ZXDG_OUTPUT_V1_NAME_SINCE_VERSION) {
            zxdg_output_v1_send_name(xdg, shape.name.c_str());
            zxdg_output_v1_send_description(xdg, shape.name.c_str());
        }
        if (version >= 3) {
            wl_output_send_done(output);  // xdg_output.done is deprecated from version 3 on
        } else {
            zxdg_output_v1_send_done(xdg);
        }
    }
    static constexpr struct zxdg_output_v1_interface kXdgOutput = {.destroy = &DestroyResource};
    static constexpr struct zxdg_output_manager_v1_interface kXdgOutputManager = {
        .destroy = &DestroyResource,
        .get_xdg_output =
            [](wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource* output) {
                auto* out = Data<Output>(output);
                wl_resource* xdg = wl_resource_create(client, &zxdg_output_v1_interface,
                                                      wl_resource_get_version(manager), id);
                wl_resource_set_implementation(xdg, &kXdgOutput, out, [](wl_resource* r) {
                    Erase(Data<Output>(r)->xdgOutputs, r);
                });
                out->xdgOutputs.push_back(xdg);
                SendXdgOutput(xdg, output, out->shape);
            },
    };

    // wl_compositor, wl_surface, wl_region
    static constexpr struct wl_region_interface kRegion = {
        .destroy = &DestroyResource,
        .add = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                  std::int32_t) {},
        .subtract = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                       std::int32_t) {},
    };
    static void Commit(wl_client*, wl_resource* resource) {
        Surface& surface = *Data<Surface>(resource);
        LayerSurface* layer = surface.layer;
        if (layer && layer->resource && !layer->closed) {
            if (!layer->configured) {
                layer->configured = true;
                const std::uint32_t across =
                    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;
                const std::uint32_t down =
                    ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM;
                const OutputSpec& shape = layer->output->shape;
                const std::uint32_t width = layer->width ? layer->width
                                            : (layer->anchor & across) == across
                                                ? static_cast<std::uint32_t>(shape.width)
                                                : 0;
                const std::uint32_t height = layer->height ? layer->height
                                             : (layer->anchor & down) == down
                                                 ? static_cast<std::uint32_t>(shape.height)
                                                 : 0;
                zwlr_layer_surface_v1_send_configure(layer->resource, surface.compositor->serial_++,
                                                     width, height);
            } else if (surface.attached) {
                ++layer->buffersShown;
                layer->bufferWidth = surface.width;
                layer->bufferHeight = surface.height;
                // A copy runs: the hook may replace itself.
                if (auto hook = surface.compositor->onLayerShown) {
                    hook(*layer);
                }
            }
        }
        surface.attached = false;
        for (wl_resource* frame : std::exchange(surface.frames, {})) {
            wl_callback_send_done(frame, 0);
            wl_resource_destroy(frame);
        }
    }
    static constexpr struct wl_surface_interface kSurface = {
        .destroy = &DestroyResource,
        .attach =
            [](wl_client*, wl_resource* resource, wl_resource* buffer, std::int32_t, std::int32_t) {
                Surface& surface = *Data<Surface>(resource);
                wl_shm_buffer* shm = buffer ? wl_shm_buffer_get(buffer) : nullptr;
                surface.attached = shm != nullptr;
                surface.width = shm ? wl_shm_buffer_get_width(shm) : 0;
                surface.height = shm ? wl_shm_buffer_get_height(shm) : 0;
            },
        .damage = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                     std::int32_t) {},
        .frame =
            [](wl_client* client, wl_resource* resource, std::uint32_t id) {
                wl_resource* frame = wl_resource_create(client, &wl_callback_interface, 1, id);
                wl_resource_set_implementation(frame, nullptr, nullptr, nullptr);
                Data<Surface>(resource)->frames.push_back(frame);
            },
        .set_opaque_region = [](wl_client*, wl_resource*, wl_resource*) {},
        .set_input_region = [](wl_client*, wl_resource*, wl_resource*) {},
        .commit = &Commit,
        .set_buffer_transform = [](wl_client*, wl_resource*, std::int32_t) {},
        .set_buffer_scale = [](wl_client*, wl_resource*, std::int32_t) {},
        .damage_buffer = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                            std::int32_t) {},
        .offset = nullptr,
    };
    static void SurfaceGone(wl_resource* resource) {
        Surface* surface = Data<Surface>(resource);
        if (surface->layer) {
            surface->layer->surface = nullptr;
        }
        for (wl_resource* frame : surface->frames) {
            wl_resource_destroy(frame);
        }
        delete surface;
    }
    static constexpr struct wl_compositor_interface kCompositor = {
        .create_surface =
            [](wl_client* client, wl_resource* resource, std::uint32_t id) {
                auto* surface = new Surface;
                surface->compositor = Data<TestCompositor>(resource);
                surface->resource = wl_resource_create(client, &wl_surface_interface,
                                                       wl_resource_get_version(resource), id);
                wl_resource_set_implementation(surface->resource, &kSurface, surface, &SurfaceGone);
            },
        .create_region =
            [](wl_client* client, wl_resource* resource, std::uint32_t id) {
                wl_resource* region = wl_resource_create(client, &wl_region_interface,
                                                         wl_resource_get_version(resource), id);
                wl_resource_set_implementation(region, &kRegion, nullptr, nullptr);
            },
    };

    // wlr-layer-shell
    static constexpr struct zwlr_layer_surface_v1_interface kLayerSurface = {
        .set_size =
            [](wl_client*, wl_resource* r, std::uint32_t width, std::uint32_t height) {
                Data<LayerSurface>(r)->width = width;
                Data<LayerSurface>(r)->height = height;
            },
        .set_anchor = [](wl_client*, wl_resource* r,
                         std::uint32_t anchor) { Data<LayerSurface>(r)->anchor = anchor; },
        .set_exclusive_zone = [](wl_client*, wl_resource*, std::int32_t) {},
        .set_margin =
            [](wl_client*, wl_resource* r, std::int32_t top, std::int32_t, std::int32_t,
               std::int32_t left) {
                Data<LayerSurface>(r)->marginTop = top;
                Data<LayerSurface>(r)->marginLeft = left;
            },
        .set_keyboard_interactivity = [](wl_client*, wl_resource*, std::uint32_t) {},
        .get_popup = [](wl_client*, wl_resource*, wl_resource*) {},
        .ack_configure = [](wl_client*, wl_resource*, std::uint32_t) {},
        .destroy = &DestroyResource,
        .set_layer = [](wl_client*, wl_resource*, std::uint32_t) {},
    };
    static constexpr struct zwlr_layer_shell_v1_interface kLayerShell = {
        .get_layer_surface =
            [](wl_client* client, wl_resource* shell, std::uint32_t id, wl_resource* surface,
               wl_resource* output, std::uint32_t, const char* nameSpace) {
                TestCompositor& self = *Data<TestCompositor>(shell);
                auto layer = std::make_unique<LayerSurface>();
                layer->compositor = &self;
                layer->surface = Data<Surface>(surface);
                layer->surface->layer = layer.get();
                layer->output = output ? Data<Output>(output) : self.outputs_.front().get();
                layer->nameSpace = nameSpace;
                layer->resource = wl_resource_create(client, &zwlr_layer_surface_v1_interface,
                                                     wl_resource_get_version(shell), id);
                wl_resource_set_implementation(layer->resource, &kLayerSurface, layer.get(),
                                               [](wl_resource* r) {
                                                   LayerSurface* gone = Data<LayerSurface>(r);
                                                   gone->resource = nullptr;
                                                   if (gone->surface) {
                                                       gone->surface->layer = nullptr;
                                                   }
                                               });
                self.layers_.push_back(std::move(layer));
                if (self.layers_.back()->output->removed) {
                    self.CloseLayerSurface(*self.layers_.back());
                }
            },
        .destroy = &DestroyResource,
    };

    // wlr-screencopy
    static void Answer(Copy& copy, wl_resource* buffer) {
        Output& output = *copy.output;
        if (copy.over) {
            return;  // failed already
        }
        copy.over = true;
        const Box region = copy.wlrFrame ? copy.region : Whole(output);
        if (!Fill(buffer, output, region)) {
            if (copy.wlrFrame) {
                zwlr_screencopy_frame_v1_send_failed(copy.wlrFrame);
            } else {
                ext_image_copy_capture_frame_v1_send_failed(copy.frame, kFailedBufferConstraints);
            }
            return;
        }
        if (region.x1 == 0 && region.y1 == 0 && region.x2 == output.shape.width &&
            region.y2 == output.shape.height) {
            ++output.wholeCopies;
        }
        if (copy.wlrFrame) {
            zwlr_screencopy_frame_v1_send_flags(copy.wlrFrame, 0);
            if (copy.changesOnly && copy.manager) {
                Box& changed = copy.manager->changed[&output];
                zwlr_screencopy_frame_v1_send_damage(
                    copy.wlrFrame, static_cast<std::uint32_t>(changed.x1),
                    static_cast<std::uint32_t>(changed.y1),
                    static_cast<std::uint32_t>(changed.x2 - changed.x1),
                    static_cast<std::uint32_t>(changed.y2 - changed.y1));
                changed = {};
            }
            zwlr_screencopy_frame_v1_send_ready(copy.wlrFrame, 0, 0, 0);
        } else {
            ext_image_copy_capture_frame_v1_send_transform(copy.frame, WL_OUTPUT_TRANSFORM_NORMAL);
            ext_image_copy_capture_frame_v1_send_presentation_time(copy.frame, 0, 0, 0);
            ext_image_copy_capture_frame_v1_send_ready(copy.frame);
        }
        if (auto hook = output.compositor->onCopied) {  // a copy runs: it may replace itself
            hook(output.shape.name);
        }
    }
    static Copy& NewCopy(Output* output) {
        auto& copies = output->compositor->copies_;
        copies.push_back(std::make_unique<Copy>());
        copies.back()->output = output;
        return *copies.back();
    }
    // A protocol object of a copy; the copy forgets it when the client destroys it, and is over.
    static wl_resource* CopyResource(wl_client* client, Copy& copy, const wl_interface& interface,
                                     wl_resource* parent, std::uint32_t id,
                                     const void* implementation) {
        wl_resource* resource =
            wl_resource_create(client, &interface, wl_resource_get_version(parent), id);
        wl_resource_set_implementation(resource, implementation, &copy, [](wl_resource* r) {
            Copy& gone = *Data<Copy>(r);
            for (wl_resource** held : {&gone.wlrFrame, &gone.session, &gone.frame}) {
                if (*held == r) {
                    *held = nullptr;
                }
            }
            gone.over = true;
        });
        return resource;
    }
    // A copy is made at the output's next frame, which a copy asked for brings about; copies of
    // changes only are looked at first, as wlroots does (they were asked for before).
    static void AskCopy(wl_resource* r, wl_resource* buffer, bool changesOnly) {
        Copy& copy = *Data<Copy>(r);
        if (copy.over) {
            return;
        }
        copy.buffer = buffer;
        copy.changesOnly = changesOnly;
        copy.asked = true;
        copy.output->compositor->CommitFrame(copy.output);
    }
    static constexpr struct zwlr_screencopy_frame_v1_interface kWlrFrame = {
        .copy = [](wl_client*, wl_resource* r, wl_resource* buffer) { AskCopy(r, buffer, false); },
        .destroy =
            [](wl_client*, wl_resource* r) {
                Copy& copy = *Data<Copy>(r);
                TestCompositor& self = *copy.output->compositor;
                if (copy.changesOnly && !copy.over && self.onCancelled) {
                    self.onCancelled(copy.output->shape.name);  // may still make the copy
                }
                wl_resource_destroy(r);
            },
        .copy_with_damage = [](wl_client*, wl_resource* r,
                               wl_resource* buffer) { AskCopy(r, buffer, true); },
    };
    static void CaptureOutput(wl_client* client, wl_resource* manager, std::uint32_t id,
                              wl_resource* output, const Box* part) {
        Copy& copy = NewCopy(Data<Output>(output));
        copy.manager = Data<CopyManager>(manager);
        copy.wlrFrame =
            CopyResource(client, copy, zwlr_screencopy_frame_v1_interface, manager, id, &kWlrFrame);
        if (copy.output->removed) {
            copy.over = true;
            zwlr_screencopy_frame_v1_send_failed(copy.wlrFrame);
            return;
        }
        copy.region = part ? *part : Whole(*copy.output);
        zwlr_screencopy_frame_v1_send_buffer(
            copy.wlrFrame, WL_SHM_FORMAT_XRGB8888,
            static_cast<std::uint32_t>(copy.region.x2 - copy.region.x1),
            static_cast<std::uint32_t>(copy.region.y2 - copy.region.y1),
            static_cast<std::uint32_t>(4 * (copy.region.x2 - copy.region.x1)));
        if (wl_resource_get_version(manager) >= 3) {
            zwlr_screencopy_frame_v1_send_buffer_done(copy.wlrFrame);
        }
    }
    static constexpr struct zwlr_screencopy_manager_v1_interface kWlrManager = {
        .capture_output =
            [](wl_client* client, wl_resource* manager, std::uint32_t id, std::int32_t,
               wl_resource* output) { CaptureOutput(client, manager, id, output, nullptr); },
        .capture_output_region =
            [](wl_client* client, wl_resource* manager, std::uint32_t id, std::int32_t,
               wl_resource* output, std::int32_t x, std::int32_t y, std::int32_t width,
               std::int32_t height) {
                const Box part{x, y, x + width, y + height};
                CaptureOutput(client, manager, id, output, &part);
            },
        .destroy = &DestroyResource,
    };
    static void BindWlrManager(wl_client* client, void* data, std::uint32_t version,
                               std::uint32_t id) {
        auto* self = static_cast<TestCompositor*>(data);
        auto* manager = new CopyManager{self, {}};
        self->copyManagers_.push_back(manager);
        wl_resource* resource = wl_resource_create(client, &zwlr_screencopy_manager_v1_interface,
                                                   static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &kWlrManager, manager, [](wl_resource* r) {
            CopyManager* gone = Data<CopyManager>(r);
            std::erase(gone->compositor->copyManagers_, gone);
            for (auto& copy : gone->compositor->copies_) {
                if (copy->manager == gone) {
                    copy->manager = nullptr;
                }
            }
            delete gone;
        });
    }

    // ext-image-capture-source and ext-image-copy-capture
    static constexpr struct ext_image_capture_source_v1_interface kSource = {.destroy =
                                                                                 &DestroyResource};
    static constexpr struct ext_output_image_capture_source_manager_v1_interface kSources = {
        .create_source =
            [](wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource* output) {
                wl_resource* source =
                    wl_resource_create(client, &ext_image_capture_source_v1_interface,
                                       wl_resource_get_version(manager), id);
                wl_resource_set_implementation(source, &kSource, Data<Output>(output), nullptr);
            },
        .destroy = &DestroyResource,
    };
    static constexpr struct ext_image_copy_capture_frame_v1_interface kExtFrame = {
        .destroy = &DestroyResource,
        .attach_buffer = [](wl_client*, wl_resource* r,
                            wl_resource* buffer) { Data<Copy>(r)->buffer = buffer; },
        .damage_buffer = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t,
                            std::int32_t) {},
        .capture =
            [](wl_client*, wl_resource* r) {
                Copy& copy = *Data<Copy>(r);
                Answer(copy, copy.buffer);
            },
    };
    static constexpr struct ext_image_copy_capture_session_v1_interface kSession = {
        .create_frame =
            [](wl_client* client, wl_resource* session, std::uint32_t id) {
                Copy& copy = *Data<Copy>(session);
                copy.frame = CopyResource(client, copy, ext_image_copy_capture_frame_v1_interface,
                                          session, id, &kExtFrame);
                if (copy.over) {
                    ext_image_copy_capture_frame_v1_send_failed(copy.frame, kFailedStopped);
                }
            },
        .destroy = &DestroyResource,
    };
    static constexpr struct ext_image_copy_capture_manager_v1_interface kCopyManager = {
        .create_session =
            [](wl_client* client, wl_resource* manager, std::uint32_t id, wl_resource* source,
               std::uint32_t) {
                Copy& copy = NewCopy(Data<Output>(source));
                copy.session =
                    CopyResource(client, copy, ext_image_copy_capture_session_v1_interface, manager,
                                 id, &kSession);
                if (copy.output->removed) {
                    copy.over = true;
                    ext_image_copy_capture_session_v1_send_stopped(copy.session);
                    return;
                }
                const OutputSpec& shape = copy.output->shape;
                ext_image_copy_capture_session_v1_send_buffer_size(
                    copy.session, static_cast<std::uint32_t>(shape.width),
                    static_cast<std::uint32_t>(shape.height));
                ext_image_copy_capture_session_v1_send_shm_format(copy.session,
                                                                  WL_SHM_FORMAT_XRGB8888);
                ext_image_copy_capture_session_v1_send_done(copy.session);
            },
        .create_pointer_cursor_session = nullptr,
        .destroy = &DestroyResource,
    };

    // wl_seat with a pointer
    static constexpr struct wl_pointer_interface kPointer = {
        .set_cursor = [](wl_client*, wl_resource*, std::uint32_t, wl_resource*, std::int32_t,
                         std::int32_t) {},
        .release = &DestroyResource,
    };
    static constexpr struct wl_seat_interface kSeat = {
        .get_pointer =
            [](wl_client* client, wl_resource* seat, std::uint32_t id) {
                TestCompositor& self = *Data<TestCompositor>(seat);
                wl_resource* pointer = wl_resource_create(client, &wl_pointer_interface,
                                                          wl_resource_get_version(seat), id);
                wl_resource_set_implementation(pointer, &kPointer, &self, [](wl_resource* r) {
                    Erase(Data<TestCompositor>(r)->pointers_, r);
                });
                self.pointers_.push_back(pointer);
            },
        .get_keyboard = nullptr,
        .get_touch = nullptr,
        .release = &DestroyResource,
    };

    template <const auto& kImplementation>
    static void Bind(wl_client* client, void* data, std::uint32_t version, std::uint32_t id,
                     const wl_interface& interface) {
        wl_resource* resource =
            wl_resource_create(client, &interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &kImplementation, data, nullptr);
        if (&interface == &wl_seat_interface) {
            wl_seat_send_capabilities(resource, WL_SEAT_CAPABILITY_POINTER);
        }
    }
};

namespace {

template <const auto& kImplementation, const wl_interface& kInterface>
void BindGlobal(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
    Protocol::Bind<kImplementation>(client, data, version, id, kInterface);
}

}  // namespace

TestCompositor::TestCompositor(std::vector<OutputSpec> outputs, CompositorOptions options)
    : options_(options), initialOutputs_(std::move(outputs)) {
    display_ = wl_display_create();
    loop_ = wl_display_get_event_loop(display_);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wakeSource_ = wl_event_loop_add_fd(
        loop_, wakeFd_, WL_EVENT_READABLE,
        [](int fd, std::uint32_t, void*) {
            std::uint64_t count = 0;
            return static_cast<int>(read(fd, &count, sizeof count) < 0);
        },
        nullptr);
    CreateGlobals();
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        throw std::runtime_error("socketpair");
    }
    client_ = wl_client_create(display_, fds[0]);
    clientFd_ = fds[1];
    watch_ = std::make_unique<Watch>();
    watch_->list = &clientResources_;
    watch_->created.notify = [](wl_listener* listener, void* data) {
        auto* tracked = new TrackedResource;
        tracked->list = reinterpret_cast<Watch*>(listener)->list;
        tracked->resource = static_cast<wl_resource*>(data);
        tracked->gone.notify = [](wl_listener* gone, void*) {
            auto* done = reinterpret_cast<TrackedResource*>(gone);
            std::erase(*done->list, done->resource);
            delete done;
        };
        tracked->list->push_back(tracked->resource);
        wl_resource_add_destroy_listener(tracked->resource, &tracked->gone);
    };
    wl_client_add_resource_created_listener(client_, &watch_->created);
    thread_ = std::thread([this] { Serve(); });
}

TestCompositor::~TestCompositor() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(wakeFd_, &one, sizeof one);
    thread_.join();
    wl_display_destroy_clients(display_);
    copies_.clear();
    for (auto& output : outputs_) {
        wl_global_destroy(output->global);
    }
    wl_event_source_remove(wakeSource_);
    wl_display_destroy(display_);
    close(wakeFd_);
    if (clientFd_ >= 0) {
        close(clientFd_);
    }
}

void TestCompositor::CreateGlobals() {
    wl_display_init_shm(display_);
    wl_global_create(display_, &wl_compositor_interface, 4, this,
                     &BindGlobal<Protocol::kCompositor, wl_compositor_interface>);
    wl_global_create(display_, &zxdg_output_manager_v1_interface, 3, this,
                     &BindGlobal<Protocol::kXdgOutputManager, zxdg_output_manager_v1_interface>);
    if (options_.copy == CopyProtocol::kWlrScreencopy) {
        wl_global_create(display_, &zwlr_screencopy_manager_v1_interface,
                         static_cast<int>(options_.screencopyVersion), this,
                         &Protocol::BindWlrManager);
    } else if (options_.copy == CopyProtocol::kImageCopyCapture) {
        wl_global_create(
            display_, &ext_output_image_capture_source_manager_v1_interface, 1, this,
            &BindGlobal<Protocol::kSources, ext_output_image_capture_source_manager_v1_interface>);
        wl_global_create(
            display_, &ext_image_copy_capture_manager_v1_interface, 1, this,
            &BindGlobal<Protocol::kCopyManager, ext_image_copy_capture_manager_v1_interface>);
    }
    if (options_.layerShell) {
        wl_global_create(display_, &zwlr_layer_shell_v1_interface, 4, this,
                         &BindGlobal<Protocol::kLayerShell, zwlr_layer_shell_v1_interface>);
    }
    if (options_.pointer) {
        wl_global_create(display_, &wl_seat_interface, 5, this,
                         &BindGlobal<Protocol::kSeat, wl_seat_interface>);
    }
    for (const OutputSpec& shape : initialOutputs_) {
        AddOutput(shape);
    }
}

void TestCompositor::ExportClientSocket() {
    setenv("WAYLAND_SOCKET", std::to_string(clientFd_).c_str(), 1);
    clientFd_ = -1;  // the client's connection owns it now
}

void TestCompositor::Post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(wakeFd_, &one, sizeof one);
}

void TestCompositor::FlushClients() {
    wl_display_flush_clients(display_);
}

void TestCompositor::Serve() {
    for (;;) {
        std::vector<std::function<void()>> tasks;
        bool stalled = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !tasks_.empty() || !stalled_; });
            if (stop_) {
                return;
            }
            tasks.swap(tasks_);
        }
        for (auto& task : tasks) {
            task();
        }
        {
            std::lock_guard lock(mutex_);
            stalled = stalled_;
        }
        if (!stalled) {
            wl_display_flush_clients(display_);
            wl_event_loop_dispatch(loop_, 50);
            wl_display_flush_clients(display_);
        }
    }
}

void TestCompositor::Stall() {
    Run([this] {
        std::lock_guard lock(mutex_);
        stalled_ = true;
    });
}

void TestCompositor::Resume() {
    {
        std::lock_guard lock(mutex_);
        stalled_ = false;
    }
    wake_.notify_all();
}

void TestCompositor::AddOutput(const OutputSpec& shape) {
    auto output = std::make_unique<Output>();
    output->compositor = this;
    output->shape = shape;
    output->Fill();
    output->global =
        wl_global_create(display_, &wl_output_interface, 4, output.get(), &Protocol::BindOutput);
    outputs_.push_back(std::move(output));
}

TestCompositor::Output* TestCompositor::Find(const std::string& name) {
    for (auto& output : outputs_) {
        if (output->shape.name == name && !output->removed) {
            return output.get();
        }
    }
    throw std::invalid_argument("no output " + name);
}

void TestCompositor::RemoveOutput(const std::string& name) {
    Output* output = Find(name);
    output->removed = true;
    wl_global_remove(output->global);
    for (auto& copy : copies_) {
        if (copy->output != output || copy->over) {
            continue;
        }
        copy->over = true;
        if (copy->wlrFrame) {
            zwlr_screencopy_frame_v1_send_failed(copy->wlrFrame);
        }
        if (copy->frame) {
            ext_image_copy_capture_frame_v1_send_failed(copy->frame, kFailedStopped);
        }
        if (copy->session) {
            ext_image_copy_capture_session_v1_send_stopped(copy->session);
        }
    }
    for (auto& layer : layers_) {
        if (layer->output == output) {
            CloseLayerSurface(*layer);
        }
    }
}

void TestCompositor::SetMode(const std::string& name, std::int32_t width, std::int32_t height) {
    Output* output = Find(name);
    output->shape.width = width;
    output->shape.height = height;
    output->Fill();
    for (CopyManager* manager : copyManagers_) {
        manager->changed.erase(output);  // a new record counts the whole output
    }
    for (wl_resource* xdg : output->xdgOutputs) {
        zxdg_output_v1_send_logical_size(xdg, width, height);
    }
    for (wl_resource* resource : output->resources) {
        wl_output_send_mode(resource, WL_OUTPUT_MODE_CURRENT, width, height, 60000);
        wl_output_send_done(resource);
    }
}

void TestCompositor::CommitFrame(Output* output) {
    for (std::size_t i = 0; i < copies_.size(); ++i) {  // a hook may add copies
        Copy& copy = *copies_[i];
        if (copy.output != output || copy.over || !copy.asked || !copy.wlrFrame) {
            continue;
        }
        if (copy.changesOnly && copy.manager) {
            // A record made now counts the whole output.
            const auto [record, made] = copy.manager->changed.try_emplace(output, Whole(*output));
            if (record->second.Empty()) {
                continue;  // waits for a change
            }
        }
        Protocol::Answer(copy, copy.buffer);
    }
}

void TestCompositor::Paint(const std::string& name, std::int32_t x, std::int32_t y,
                           std::int32_t width, std::int32_t height, std::uint32_t colour) {
    Output* output = Find(name);
    const Box box{std::max(x, 0), std::max(y, 0), std::min(x + width, output->shape.width),
                  std::min(y + height, output->shape.height)};
    for (std::int32_t row = box.y1; row < box.y2; ++row) {
        auto* from = output->pixels.data() + static_cast<std::size_t>(row) * output->shape.width;
        std::fill(from + box.x1, from + box.x2, 0xff000000u | colour);
    }
    for (CopyManager* manager : copyManagers_) {
        if (auto record = manager->changed.find(output); record != manager->changed.end()) {
            record->second.Join(box);
        }
    }
    CommitFrame(output);
}

int TestCompositor::WholeCopies(const std::string& name) {
    return Run([this, name] { return Find(name)->wholeCopies; });
}

void TestCompositor::CloseLayerSurface(LayerSurface& layer) {
    if (layer.resource && !layer.closed) {
        layer.closed = true;
        zwlr_layer_surface_v1_send_closed(layer.resource);
    }
}

void TestCompositor::PointerEnter(LayerSurface& layer, double x, double y) {
    for (wl_resource* pointer : pointers_) {
        wl_pointer_send_enter(pointer, serial_++, layer.surface->resource, wl_fixed_from_double(x),
                              wl_fixed_from_double(y));
        if (wl_resource_get_version(pointer) >= WL_POINTER_FRAME_SINCE_VERSION) {
            wl_pointer_send_frame(pointer);
        }
    }
}

std::vector<TestCompositor::LayerSurface*> TestCompositor::LayerSurfaces() const {
    std::vector<LayerSurface*> layers;
    for (const auto& layer : layers_) {
        layers.push_back(layer.get());
    }
    return layers;
}

std::size_t TestCompositor::ClientBufferBytes() const {
    std::size_t bytes = 0;
    for (wl_resource* resource : clientResources_) {
        if (std::strcmp(wl_resource_get_class(resource), "wl_buffer") == 0) {
            if (wl_shm_buffer* shm = wl_shm_buffer_get(resource)) {
                bytes += static_cast<std::size_t>(wl_shm_buffer_get_stride(shm)) *
                         static_cast<std::size_t>(wl_shm_buffer_get_height(shm));
            }
        }
    }
    return bytes;
}

std::string TestCompositor::OutputOf(const LayerSurface& layer) {
    return layer.output && !layer.output->removed ? layer.output->shape.name : std::string();
}

}  // namespace ruvello::wltest
