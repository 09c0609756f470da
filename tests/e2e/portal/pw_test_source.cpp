// PipeWire video sources standing in for a compositor's monitor streams: one "Video/Source"
// node per monitor, each with a known picture that tests can compute again (pattern.py). Like a
// compositor, a source sends a frame when it starts streaming and when its picture changes, never
// faster than the consumer's maximum frame rate, and nothing while the picture stays the same.
//
//   pw_test_source WIDTHxHEIGHT:FORMAT[:lose] ...     FORMAT: BGRx, RGBx, BGRA or RGBA
//
// ":lose" drops the frame of the first start, as it is lost when a compositor sends it before the
// consumer's node has joined the graph; ":silent" never sends a frame.
// Prints "node INDEX ID" once each node is known, then "ready". Reads commands on stdin:
//   change        the next picture on every monitor (its red channel moves on)
//   animate HZ    changes the picture HZ times a second (0: stops)
//   drop          removes every node, as a compositor does when the user stops sharing
//   drop INDEX    removes one monitor's node, as a compositor does when that monitor is unplugged
// and prints "frame INDEX PHASE" for every frame it sends.

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "capture/portal/spa_macros_pipewire.h"

namespace {

struct Monitor;

struct Source {
    pw_main_loop* loop = nullptr;
    pw_core* core = nullptr;
    std::vector<std::unique_ptr<Monitor>> monitors;
    spa_source* animation = nullptr;
    spa_source* input = nullptr;
    int phase = 0;
};

std::uint64_t NowNs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

struct Monitor {
    Source* source = nullptr;
    int index = 0;
    int width = 0;
    int height = 0;
    spa_video_format format = SPA_VIDEO_FORMAT_BGRx;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    spa_source* followUp = nullptr;
    bool streaming = false;
    bool announced = false;
    bool loseFirst = false;
    bool silent = false;
    std::uint64_t minIntervalNs = 0;
    std::uint64_t lastFrameNs = 0;
    int sentPhase = -1;
};

// The picture of monitor `index` at `phase`, as R, G, B: pattern.py computes the same.
void Pixel(int index, int phase, int x, int y, std::uint8_t rgb[3]) {
    rgb[0] = static_cast<std::uint8_t>((x + 3 * index + 17 * phase) % 256);
    rgb[1] = static_cast<std::uint8_t>((y + 5 * index) % 256);
    rgb[2] = static_cast<std::uint8_t>(((x / 8 + y / 8) * 40 + 60 * index) % 256);
}

void Fill(const Monitor& m, std::uint8_t* data, std::uint32_t stride) {
    const bool rgbOrder = m.format == SPA_VIDEO_FORMAT_RGBx || m.format == SPA_VIDEO_FORMAT_RGBA;
    for (int y = 0; y < m.height; ++y) {
        std::uint8_t* p = data + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < m.width; ++x, p += 4) {
            std::uint8_t rgb[3];
            Pixel(m.index, m.source->phase, x, y, rgb);
            p[0] = rgbOrder ? rgb[0] : rgb[2];
            p[1] = rgb[1];
            p[2] = rgbOrder ? rgb[2] : rgb[0];
            p[3] = 0x5A;  // neither opaque nor clear: a reader must ignore this byte
        }
    }
}

void OnProcess(void* data) {
    auto* m = static_cast<Monitor*>(data);
    pw_buffer* b = pw_stream_dequeue_buffer(m->stream);
    if (!b) {
        return;
    }
    spa_buffer* buf = b->buffer;
    spa_data& d = buf->datas[0];
    if (d.data) {
        const std::uint32_t stride = static_cast<std::uint32_t>(m->width) * 4;
        Fill(*m, static_cast<std::uint8_t*>(d.data), stride);
        d.chunk->offset = 0;
        d.chunk->stride = static_cast<std::int32_t>(stride);
        d.chunk->size = stride * static_cast<std::uint32_t>(m->height);
        if (auto* h = static_cast<spa_meta_header*>(
                spa_buffer_find_meta_data(buf, SPA_META_Header, sizeof(spa_meta_header)))) {
            h->pts = static_cast<std::int64_t>(NowNs());  // the monotonic clock, as mutter's
            h->flags = 0;
            h->seq = static_cast<std::uint64_t>(m->source->phase);
            h->dts_offset = 0;
        }
        m->sentPhase = m->source->phase;
        m->lastFrameNs = NowNs();
        std::printf("frame %d %d\n", m->index, m->source->phase);
        std::fflush(stdout);
    }
    pw_stream_queue_buffer(m->stream, b);
}

// A frame now, or as soon as the consumer's maximum frame rate allows it.
void SendFrame(Monitor& m) {
    if (!m.streaming || m.silent || m.sentPhase == m.source->phase) {
        return;
    }
    const std::uint64_t now = NowNs();
    const std::uint64_t due = m.lastFrameNs + m.minIntervalNs;
    pw_loop* loop = pw_main_loop_get_loop(m.source->loop);
    if (m.lastFrameNs && now < due) {
        timespec wait{static_cast<time_t>((due - now) / SPA_NSEC_PER_SEC),
                      static_cast<long>((due - now) % SPA_NSEC_PER_SEC)};
        pw_loop_update_timer(loop, m.followUp, &wait, nullptr, false);
        return;
    }
    pw_stream_trigger_process(m.stream);
}

void OnFollowUp(void* data, std::uint64_t) {
    SendFrame(*static_cast<Monitor*>(data));
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto* m = static_cast<Monitor*>(data);
    if (state == PW_STREAM_STATE_ERROR) {
        std::fprintf(stderr, "monitor %d: %s\n", m->index, error ? error : "error");
    }
    if (state == PW_STREAM_STATE_PAUSED && !m->announced) {
        m->announced = true;
        std::printf("node %d %u\n", m->index, pw_stream_get_node_id(m->stream));
        bool all = true;
        for (auto& other : m->source->monitors) {
            all = all && other->announced;
        }
        if (all) {
            std::printf("ready\n");
        }
        std::fflush(stdout);
    }
    m->streaming = state == PW_STREAM_STATE_STREAMING;
    std::printf("state %d %s\n", m->index, pw_stream_state_as_string(state));
    std::fflush(stdout);
    if (m->streaming) {
        m->sentPhase = -1;  // a consumer that starts (again) gets the picture at once
        if (std::exchange(m->loseFirst, false)) {
            m->sentPhase = m->source->phase;
            std::printf("lost %d\n", m->index);
            std::fflush(stdout);
            return;
        }
        SendFrame(*m);
    }
}

void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto* m = static_cast<Monitor*>(data);
    if (!param || id != SPA_PARAM_Format) {
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) {
        return;
    }
    const spa_fraction rate = info.max_framerate.denom ? info.max_framerate : info.framerate;
    m->minIntervalNs = rate.num ? SPA_NSEC_PER_SEC * rate.denom / rate.num : 0;
    std::printf("format %d max %u/%u\n", m->index, rate.num, rate.denom);
    std::fflush(stdout);

    const int stride = m->width * 4;
    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* params[2];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * m->height), SPA_PARAM_BUFFERS_stride,
        SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    pw_stream_update_params(m->stream, params, 2);
}

const pw_stream_events kStreamEvents = {
    .version = PW_VERSION_STREAM_EVENTS,
    .state_changed = OnStateChanged,
    .param_changed = OnParamChanged,
    .process = OnProcess,
};

spa_video_format ParseFormat(const std::string& name) {
    if (name == "RGBx")
        return SPA_VIDEO_FORMAT_RGBx;
    if (name == "BGRA")
        return SPA_VIDEO_FORMAT_BGRA;
    if (name == "RGBA")
        return SPA_VIDEO_FORMAT_RGBA;
    return SPA_VIDEO_FORMAT_BGRx;
}

void Connect(Monitor& m) {
    pw_properties* props =
        pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME,
                          ("test-monitor-" + std::to_string(m.index)).c_str(), nullptr);
    m.stream = pw_stream_new(m.source->core, "test-monitor", props);
    pw_stream_add_listener(m.stream, &m.listener, &kStreamEvents, &m);
    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_rectangle size =
        SPA_RECTANGLE(static_cast<std::uint32_t>(m.width), static_cast<std::uint32_t>(m.height));
    const spa_fraction zero = SPA_FRACTION(0, 1);
    const spa_fraction most = SPA_FRACTION(60, 1);
    const spa_fraction least = SPA_FRACTION(1, 1);
    const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(m.format),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_Fraction(&zero), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&most, &least, &most)));
    pw_stream_connect(
        m.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), &format,
        1);
}

void Change(Source& s) {
    ++s.phase;
    for (auto& m : s.monitors) {
        SendFrame(*m);
    }
}

// Removes the nodes of every monitor, or of the one at `only`.
void Drop(Source& s, int only = -1) {
    for (auto& m : s.monitors) {
        if (m->stream && (only < 0 || m->index == only)) {
            pw_stream_destroy(m->stream);
            m->stream = nullptr;
            m->streaming = false;
        }
    }
    std::printf(only < 0 ? "dropped\n" : "dropped %d\n", only);
    std::fflush(stdout);
}

void OnAnimation(void* data, std::uint64_t) {
    Change(*static_cast<Source*>(data));
}

void OnInput(void* data, int fd, std::uint32_t mask) {
    auto* s = static_cast<Source*>(data);
    char line[128];
    const ssize_t n = (mask & SPA_IO_IN) ? read(fd, line, sizeof line - 1) : 0;
    if (n <= 0) {
        pw_main_loop_quit(s->loop);  // the test ended without telling
        return;
    }
    line[n] = '\0';
    for (char* command = std::strtok(line, "\n"); command; command = std::strtok(nullptr, "\n")) {
        int hz = 0;
        int index = 0;
        if (std::strcmp(command, "change") == 0) {
            Change(*s);
        } else if (std::strcmp(command, "drop") == 0) {
            Drop(*s);
        } else if (std::sscanf(command, "drop %d", &index) == 1) {
            Drop(*s, index);
        } else if (std::sscanf(command, "animate %d", &hz) == 1) {
            timespec interval{0, hz > 0 ? static_cast<long>(SPA_NSEC_PER_SEC / hz) : 0};
            pw_loop_update_timer(pw_main_loop_get_loop(s->loop), s->animation,
                                 hz > 0 ? &interval : nullptr, hz > 0 ? &interval : nullptr, false);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    pw_init(&argc, &argv);
    Source s;
    s.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(s.loop);
    pw_context* context = pw_context_new(loop, nullptr, 0);
    s.core = pw_context_connect(context, nullptr, 0);
    if (!s.core) {
        std::fprintf(stderr, "cannot connect to PipeWire\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        auto m = std::make_unique<Monitor>();
        char format[16] = "BGRx";
        if (std::sscanf(argv[i], "%dx%d:%15[^:]", &m->width, &m->height, format) < 2) {
            std::fprintf(stderr, "bad monitor %s\n", argv[i]);
            return 2;
        }
        m->source = &s;
        m->index = i - 1;
        m->format = ParseFormat(format);
        m->loseFirst = std::strstr(argv[i], ":lose") != nullptr;
        m->silent = std::strstr(argv[i], ":silent") != nullptr;
        m->followUp = pw_loop_add_timer(loop, OnFollowUp, m.get());
        s.monitors.push_back(std::move(m));
    }
    for (auto& m : s.monitors) {
        Connect(*m);
    }
    s.animation = pw_loop_add_timer(loop, OnAnimation, &s);
    s.input = pw_loop_add_io(loop, STDIN_FILENO, SPA_IO_IN | SPA_IO_HUP, false, OnInput, &s);
    pw_main_loop_run(s.loop);
    Drop(s);
    pw_core_disconnect(s.core);
    pw_context_destroy(context);
    pw_main_loop_destroy(s.loop);
    pw_deinit();
    return 0;
}
