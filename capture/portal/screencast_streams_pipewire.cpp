#include "capture/portal/screencast_streams_pipewire.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include "capture/portal/spa_macros_pipewire.h"
#include "capture/portal/video_formats_pipewire.h"

namespace ruvello {

struct PipeWireStreams::Stream {
    State* owner = nullptr;
    std::uint32_t nodeId = 0;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    PixelOrder order = PixelOrder::kBgrx;
    std::int32_t width = 0;
    std::int32_t height = 0;
    pw_buffer* held = nullptr;        // the newest usable frame, kept from the compositor
    std::vector<pw_buffer*> buffers;  // every buffer the stream has, held or not
    SteadyTime taken;
    bool active = true;
    bool runAgain = false;  // paused only to be run again
    bool ended = false;
};

struct PipeWireStreams::State {
    pw_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    spa_hook coreListener{};
    pw_registry* registry = nullptr;
    spa_hook registryListener{};
    std::vector<std::unique_ptr<Stream>> streams;
    std::uint32_t maxFramesPerSecond = 2;
    std::uint32_t buffers = 4;
    std::function<void()> changed;
    bool broken = false;
    bool ending = false;

    void Break() {
        if (!broken && !ending) {
            broken = true;
            changed();
        }
    }

    // A screen-cast stream never reconnects: once the compositor ended it, its monitor is gone
    // from the recording.
    void EndStream(Stream& s) {
        if (s.ended || ending) {
            return;
        }
        s.ended = true;
        s.held = nullptr;  // its buffers go with the stream
        const bool all = std::all_of(streams.begin(), streams.end(),
                                     [](const auto& other) { return other->ended; });
        if (all) {
            Break();
        } else if (!broken) {
            changed();
        }
    }
};

namespace {

using Stream = PipeWireStreams::Stream;

bool Usable(const pw_buffer* b) {
    const spa_buffer* buffer = b->buffer;
    if (buffer->n_datas < 1) {
        return false;
    }
    const spa_data& d = buffer->datas[0];
    if (!d.data || (d.type != SPA_DATA_MemFd && d.type != SPA_DATA_MemPtr) || !d.chunk ||
        d.chunk->size == 0 || (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) {
        return false;
    }
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    return !header || !(header->flags & SPA_META_HEADER_FLAG_CORRUPTED);
}

// When the compositor took the frame: its own time stamp where that is one of this machine's
// monotonic clock (mutter's is), else the frame's arrival. A frame sent just before its stream
// was paused arrives only when the stream runs again, and must not count as a new picture.
SteadyTime TakenAt(const pw_buffer* b, SteadyTime arrival) {
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(b->buffer, SPA_META_Header, sizeof(spa_meta_header)));
    if (!header || header->pts <= 0) {
        return arrival;
    }
    const SteadyTime stamp{std::chrono::nanoseconds(header->pts)};
    const bool plausible =
        stamp > arrival - std::chrono::seconds(10) && stamp < arrival + std::chrono::seconds(1);
    return plausible ? stamp : arrival;
}

void OnProcess(void* data) {
    auto* s = static_cast<Stream*>(data);
    bool arrived = false;
    while (pw_buffer* b = pw_stream_dequeue_buffer(s->stream)) {
        if (!Usable(b)) {
            pw_stream_queue_buffer(s->stream, b);
            continue;
        }
        if (s->held) {
            pw_stream_queue_buffer(s->stream, s->held);
        }
        s->held = b;
        s->taken = TakenAt(b, std::chrono::steady_clock::now());
        arrived = true;
    }
    if (arrived) {
        s->owner->changed();
    }
}

void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto* s = static_cast<Stream*>(data);
    if (!param || id != SPA_PARAM_Format) {
        return;
    }
    spa_video_info_raw info{};
    std::optional<PixelOrder> order;
    if (spa_format_video_raw_parse(param, &info) >= 0) {
        order = PixelOrderOfVideoFormat(info.format);
    }
    if (!order || info.size.width == 0 || info.size.height == 0 || info.size.width > 65536 ||
        info.size.height > 65536) {
        pw_stream_set_error(s->stream, -EINVAL, "unexpected video format");
        return;
    }
    s->order = *order;
    s->width = static_cast<std::int32_t>(info.size.width);
    s->height = static_cast<std::int32_t>(info.size.height);
    std::uint8_t buffer[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[2];
    pw_stream_update_params(s->stream, params,
                            BuildBufferParams(builder, params, s->owner->buffers));
}

void OnAddBuffer(void* data, pw_buffer* b) {
    auto* s = static_cast<Stream*>(data);
    try {
        s->buffers.push_back(b);
    } catch (const std::bad_alloc&) {
        // Not listed, its pages are never let go; nothing else depends on the list.
    }
}

void OnRemoveBuffer(void* data, pw_buffer* b) {
    auto* s = static_cast<Stream*>(data);
    if (s->held == b) {
        s->held = nullptr;
    }
    std::erase(s->buffers, b);
}

// Lets go of the program's pages of a buffer in shared memory: the compositor's memory keeps
// the picture, and a later read maps it again. The streams' context locks nothing, but a
// PipeWire configured to lock what it maps would, and locked pages cannot be let go.
void LetGoOfPages(const pw_buffer& b) {
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    for (std::uint32_t i = 0; i < b.buffer->n_datas; ++i) {
        const spa_data& d = b.buffer->datas[i];
        if (d.type != SPA_DATA_MemFd || !d.data || page == 0) {
            continue;
        }
        // PipeWire maps whole pages around the data: rounding down stays inside the mapping.
        const auto begin = reinterpret_cast<std::uintptr_t>(d.data) / page * page;
        const auto end = (reinterpret_cast<std::uintptr_t>(d.data) + d.maxsize) / page * page;
        if (end > begin) {
            munlock(reinterpret_cast<void*>(begin), end - begin);
            madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
        }
    }
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    auto* s = static_cast<Stream*>(data);
    if (state == PW_STREAM_STATE_PAUSED && s->runAgain) {
        s->runAgain = false;
        s->active = true;
        pw_stream_set_active(s->stream, true);
    }
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
        s->owner->EndStream(*s);
    }
}

const pw_stream_events kStreamEvents = {
    .version = PW_VERSION_STREAM_EVENTS,
    .state_changed = OnStateChanged,
    .param_changed = OnParamChanged,
    .add_buffer = OnAddBuffer,
    .remove_buffer = OnRemoveBuffer,
    .process = OnProcess,
};

// Only a broken connection ends the streams. The server also reports a request that came too
// late for an object it removed (a monitor's node gone), as an error of the core.
void OnCoreError(void* data, std::uint32_t id, int, int result, const char*) {
    if (id == PW_ID_CORE && result == -EPIPE) {
        static_cast<PipeWireStreams::State*>(data)->Break();
    }
}

const pw_core_events kCoreEvents = {
    .version = PW_VERSION_CORE_EVENTS,
    .error = OnCoreError,
};

void OnGlobalRemoved(void* data, std::uint32_t id) {
    auto* state = static_cast<PipeWireStreams::State*>(data);
    for (const auto& s : state->streams) {
        if (s->nodeId == id) {
            state->EndStream(*s);  // the compositor removed a monitor's node
        }
    }
}

const pw_registry_events kRegistryEvents = {
    .version = PW_VERSION_REGISTRY_EVENTS,
    .global_remove = OnGlobalRemoved,
};

void Connect(PipeWireStreams::State& state, Stream& s) {
    pw_properties* properties =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                          PW_KEY_MEDIA_ROLE, "Screen", PW_KEY_NODE_NAME, "ruvello", nullptr);
    s.stream = pw_stream_new(state.core, "ruvello", properties);
    if (!s.stream) {
        state.broken = true;
        return;
    }
    pw_stream_add_listener(s.stream, &s.listener, &kStreamEvents, &s);
    std::uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* formats = BuildStreamFormats(builder, state.maxFramesPerSecond);
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_DONT_RECONNECT);
    if (pw_stream_connect(s.stream, PW_DIRECTION_INPUT, s.nodeId, flags, &formats, 1) < 0) {
        state.broken = true;
    }
}

}  // namespace

PipeWireStreams::PipeWireStreams(int remoteFd, std::span<const std::uint32_t> nodeIds,
                                 std::uint32_t maxFramesPerSecond, std::uint32_t buffers,
                                 std::function<void()> changed)
    : state_(std::make_unique<State>()) {
    static std::once_flag initialized;
    std::call_once(initialized, [] { pw_init(nullptr, nullptr); });
    State& state = *state_;
    state.maxFramesPerSecond = maxFramesPerSecond;
    state.buffers = buffers;
    state.changed = std::move(changed);
    // Every record of the program's own exists before PipeWire holds a pointer to one: memory
    // that runs out then leaves no stream listening on a freed record.
    for (std::uint32_t nodeId : nodeIds) {
        auto s = std::make_unique<Stream>();
        s->owner = &state;
        s->nodeId = nodeId;
        state.streams.push_back(std::move(s));
    }
    state.loop = pw_loop_new(nullptr);
    if (!state.loop) {
        close(remoteFd);
        state.broken = true;
        return;
    }
    pw_loop_enter(state.loop);
    // Frames are read once per shot, not in real time: locked pages could not be let go.
    state.context =
        pw_context_new(state.loop, pw_properties_new("mem.allow-mlock", "false", nullptr), 0);
    state.core = state.context ? pw_context_connect_fd(state.context, remoteFd, nullptr, 0)
                               : (close(remoteFd), nullptr);
    if (!state.core) {
        state.broken = true;
        return;
    }
    pw_core_add_listener(state.core, &state.coreListener, &kCoreEvents, &state);
    state.registry = pw_core_get_registry(state.core, PW_VERSION_REGISTRY, 0);
    if (state.registry) {
        pw_registry_add_listener(state.registry, &state.registryListener, &kRegistryEvents, &state);
    }
    for (const auto& s : state.streams) {
        Connect(state, *s);
    }
}

PipeWireStreams::~PipeWireStreams() {
    State& state = *state_;
    state.ending = true;
    for (const auto& s : state.streams) {
        if (s->stream) {
            pw_stream_destroy(s->stream);
        }
    }
    if (state.registry) {
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(state.registry));
    }
    if (state.core) {
        pw_core_disconnect(state.core);
    }
    if (state.context) {
        pw_context_destroy(state.context);
    }
    if (state.loop) {
        pw_loop_leave(state.loop);
        pw_loop_destroy(state.loop);
    }
}

bool PipeWireStreams::Broken() const {
    return state_->broken;
}

int PipeWireStreams::LoopFd() const {
    return state_->loop ? pw_loop_get_fd(state_->loop) : -1;
}

void PipeWireStreams::Dispatch() {
    if (state_->loop) {
        pw_loop_iterate(state_->loop, 0);
    }
}

bool PipeWireStreams::Ended(std::size_t index) const {
    return state_->streams.at(index)->ended;
}

void PipeWireStreams::End(std::size_t index) {
    Stream& s = *state_->streams.at(index);
    if (s.stream && !s.ended) {
        pw_stream_disconnect(s.stream);
    }
    state_->EndStream(s);
}

void PipeWireStreams::SetActive(bool active) {
    for (const auto& s : state_->streams) {
        s->runAgain = false;
        s->active = active;
        if (s->stream && !s->ended) {
            pw_stream_set_active(s->stream, active);
        }
    }
}

void PipeWireStreams::AskForFrame(std::size_t index) {
    Stream& s = *state_->streams.at(index);
    if (!s.stream || s.ended) {
        return;
    }
    s.runAgain = s.active;
    s.active = !s.active;
    pw_stream_set_active(s.stream, s.active);
}

std::size_t PipeWireStreams::Count() const {
    return state_->streams.size();
}

void PipeWireStreams::HandBackFrames() {
    for (const auto& s : state_->streams) {
        if (!s->held || s->ended) {
            continue;
        }
        pw_stream_queue_buffer(s->stream, s->held);
        s->held = nullptr;
    }
}

void PipeWireStreams::LetGoOfFramePages() {
    for (const auto& s : state_->streams) {
        if (s->ended) {
            continue;
        }
        for (const pw_buffer* b : s->buffers) {
            LetGoOfPages(*b);
        }
    }
}

std::optional<StreamFrame> PipeWireStreams::Newest(std::size_t index) const {
    const Stream& s = *state_->streams.at(index);
    if (!s.held || s.ended) {
        return std::nullopt;
    }
    const spa_data& d = s.held->buffer->datas[0];
    const std::size_t rowBytes = static_cast<std::size_t>(s.width) * 4;
    const std::size_t stride =
        d.chunk->stride > 0 ? static_cast<std::size_t>(d.chunk->stride) : rowBytes;
    const std::size_t offset = d.chunk->offset % (d.maxsize ? d.maxsize : 1);
    // A frame that does not fit into its own buffer is not read.
    if (stride < rowBytes ||
        offset + stride * static_cast<std::size_t>(s.height - 1) + rowBytes > d.maxsize) {
        return std::nullopt;
    }
    return StreamFrame{static_cast<const std::uint8_t*>(d.data) + offset,
                       s.width,
                       s.height,
                       stride,
                       s.order,
                       s.taken};
}

}  // namespace ruvello
