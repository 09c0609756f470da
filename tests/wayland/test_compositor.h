#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

struct wl_client;
struct wl_display;
struct wl_event_loop;
struct wl_event_source;
struct wl_global;
struct wl_resource;

namespace ruvello::wltest {

// One monitor of the test compositor, filled with one colour (Paint draws on it).
struct OutputSpec {
    std::string name;
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    std::uint32_t colour = 0;  // 0xRRGGBB
};

enum class CopyProtocol { kNone, kWlrScreencopy, kImageCopyCapture };

struct CompositorOptions {
    CopyProtocol copy = CopyProtocol::kWlrScreencopy;
    // wlr-screencopy's version: copies of changes only (copy_with_damage) come with 2.
    std::uint32_t screencopyVersion = 3;
    bool layerShell = true;
    bool pointer = false;  // a seat with a pointer
};

// A compositor of our own over libwayland-server, small enough to hit the exact moments a real
// one reaches only by chance: an output that goes while a copy, a flash or a menu waits on it, a
// surface closed under the client, a compositor that stops reading. It serves one client, on a
// socket pair, from a thread of its own; everything of it lives on that thread.
class TestCompositor {
  public:
    struct Output;
    struct Surface;
    struct LayerSurface;

    explicit TestCompositor(std::vector<OutputSpec> outputs, CompositorOptions options = {});
    ~TestCompositor();
    TestCompositor(const TestCompositor&) = delete;
    TestCompositor& operator=(const TestCompositor&) = delete;

    // Hands the client's end to the next wl_display_connect (WAYLAND_SOCKET).
    void ExportClientSocket();

    // Runs `step` on the compositor's thread and returns its result.
    template <class Step>
    auto Run(Step step) -> std::invoke_result_t<Step> {
        if (std::this_thread::get_id() == thread_.get_id()) {
            return step();
        }
        // What the step sent is on its way to the client when Run returns.
        using Result = std::invoke_result_t<Step>;
        auto task = std::make_shared<std::packaged_task<Result()>>([this, step = std::move(step)] {
            if constexpr (std::is_void_v<Result>) {
                step();
                FlushClients();
            } else {
                Result result = step();
                FlushClients();
                return result;
            }
        });
        auto result = task->get_future();
        Post([task] { (*task)(); });
        return result.get();
    }

    // Stops reading the client's requests (and sending it anything) until Resume.
    void Stall();
    void Resume();

    // On the compositor's thread (in Run or a hook):
    void AddOutput(const OutputSpec& shape);
    // The output's global goes; copies still running on it fail and its layer surfaces are
    // closed, as wlroots compositors do when a monitor is unplugged.
    void RemoveOutput(const std::string& name);
    // A new mode: the output's size changes where it is, filled with its colour again.
    void SetMode(const std::string& name, std::int32_t width, std::int32_t height);
    // Fills a rectangle of the output with `colour` (0xRRGGBB), as a window drawing there: the
    // copies of changes only that wait on the output are made, as wlroots makes them at the
    // next frame, with the rectangles changed since each copy's last one.
    void Paint(const std::string& name, std::int32_t x, std::int32_t y, std::int32_t width,
               std::int32_t height, std::uint32_t colour);
    // How many copies of the whole output the compositor made (copies of a region not counted).
    int WholeCopies(const std::string& name);
    void CloseLayerSurface(LayerSurface& layer);
    void PointerEnter(LayerSurface& layer, double x, double y);
    // The client's layer surfaces, oldest first (closed and destroyed ones too).
    std::vector<LayerSurface*> LayerSurfaces() const;
    // Bytes of the wl_shm buffers the client holds now.
    std::size_t ClientBufferBytes() const;
    // The output a layer surface was put on, or "" (none, or gone).
    static std::string OutputOf(const LayerSurface& layer);

    // Hooks, called on the compositor's thread.
    std::function<void(const std::string& output)> onCopied;  // a copy answered `ready`
    std::function<void(LayerSurface&)> onLayerShown;          // a layer surface got a buffer
    // The client destroys a copy of changes only that still waits; the compositor has not
    // read that yet, and may still make the copy (Paint) before it does.
    std::function<void(const std::string& output)> onCancelled;

    struct LayerSurface {
        TestCompositor* compositor = nullptr;
        wl_resource* resource = nullptr;  // null once the client destroyed it
        Surface* surface = nullptr;
        Output* output = nullptr;
        std::string nameSpace;
        std::uint32_t anchor = 0, width = 0, height = 0;
        std::int32_t marginTop = 0, marginLeft = 0;
        bool configured = false;
        bool closed = false;
        int buffersShown = 0;
        std::int32_t bufferWidth = 0, bufferHeight = 0;
    };

  private:
    struct Copy;
    struct CopyManager;
    struct Watch;
    void Post(std::function<void()> task);
    void FlushClients();
    void Serve();
    void CreateGlobals();
    Output* Find(const std::string& name);
    // The output shows a new frame: copies of changes only on it that have changes are made.
    void CommitFrame(Output* output);

    CompositorOptions options_;
    std::vector<OutputSpec> initialOutputs_;
    wl_display* display_ = nullptr;
    wl_event_loop* loop_ = nullptr;
    wl_client* client_ = nullptr;
    int clientFd_ = -1;
    int wakeFd_ = -1;
    wl_event_source* wakeSource_ = nullptr;

    std::vector<std::unique_ptr<Output>> outputs_;
    std::vector<std::unique_ptr<LayerSurface>> layers_;
    std::vector<wl_resource*> pointers_;
    std::vector<wl_resource*> clientResources_;
    std::vector<std::unique_ptr<Copy>> copies_;
    std::vector<CopyManager*> copyManagers_;  // wlr-screencopy managers the client bound
    std::unique_ptr<Watch> watch_;
    std::uint32_t serial_ = 1;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::function<void()>> tasks_;
    bool stalled_ = false;
    bool stop_ = false;
    std::thread thread_;

    friend struct Protocol;
};

}  // namespace ruvello::wltest
