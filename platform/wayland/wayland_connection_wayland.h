#pragma once

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_interface;

namespace ruvello {

// Destroys a protocol object the program holds, if it holds one, and forgets it.
template <class Object>
void ReleaseObject(Object*& object, void (*destroy)(Object*)) {
    if (object) {
        destroy(object);
        object = nullptr;
    }
}

// One global object the compositor announced.
struct WaylandGlobal {
    std::uint32_t name = 0;
    std::string interface;
    std::uint32_t version = 0;
};

// One deadline for a wait of several steps: each step waits at most for what is left of it.
class WaitDeadline {
  public:
    explicit WaitDeadline(int timeoutMs)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}
    // Milliseconds left, 0 once it passed.
    int LeftMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end_ - std::chrono::steady_clock::now())
                              .count();
        return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
    }

  private:
    std::chrono::steady_clock::time_point end_;
};

// The program's own client connection to the session's Wayland compositor (not Qt's, which may
// not exist when Qt runs on X11): the capture, the flash and the tray menu share it. Everything
// runs on the user-interface thread.
class WaylandConnection {
  public:
    // Connects to the display that WAYLAND_DISPLAY or WAYLAND_SOCKET names and learns the globals.
    WaylandConnection();
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    // False when no compositor answered, or after the connection broke.
    bool Connected() const;
    wl_display* Display() const { return display_; }

    bool Has(const std::string& interface) const;
    // Binds the first global of `interface` at the highest version both sides speak (at most
    // `maxVersion`); nullptr when there is none. The version bound goes to `version`.
    void* Bind(const wl_interface& interface, std::uint32_t maxVersion,
               std::uint32_t* version = nullptr);
    void* Bind(const WaylandGlobal& global, const wl_interface& interface,
               std::uint32_t maxVersion);
    const std::vector<WaylandGlobal>& Globals() const { return globals_; }

    // Told of globals that come (a screen plugged in) and go, after the ones already known.
    using GlobalAdded = std::function<void(const WaylandGlobal&)>;
    using GlobalRemoved = std::function<void(std::uint32_t name)>;
    void WatchGlobals(GlobalAdded added, GlobalRemoved removed);

    // Sends what is pending and handles events until `done` is true; false when `timeoutMs`
    // passed first or the connection broke. The one deadline covers sending too: a compositor
    // that stops answering or stops reading cannot hang the program.
    bool DispatchUntil(const std::function<bool()>& done, int timeoutMs);
    // Waits until the compositor has handled every request sent so far, within `timeoutMs`.
    bool Roundtrip(int timeoutMs);
    // Handles the events that have arrived, without waiting.
    void DispatchPending();
    // The descriptor to watch for events, or -1.
    int Fd() const;

  private:
    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<WaylandGlobal> globals_;
    GlobalAdded added_;
    GlobalRemoved removed_;
};

// Whether the environment names a Wayland display at all.
bool WaylandDisplayNamed();

}  // namespace ruvello
