#include "platform/wayland/wayland_connection_wayland.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace ruvello {
namespace {

constexpr int kConnectTimeoutMs = 5000;

}  // namespace

bool WaylandDisplayNamed() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    return (display && *display) || (socket && *socket);
}

WaylandConnection::WaylandConnection() {
    if (!WaylandDisplayNamed()) {
        return;
    }
    display_ = wl_display_connect(nullptr);
    if (!display_) {
        return;
    }
    static const wl_registry_listener listener = {&WaylandConnection::OnGlobal,
                                                  &WaylandConnection::OnGlobalRemove};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    if (!Roundtrip(kConnectTimeoutMs)) {
        wl_registry_destroy(registry_);
        registry_ = nullptr;
        wl_display_disconnect(display_);
        display_ = nullptr;
    }
}

WaylandConnection::~WaylandConnection() {
    ReleaseObject(registry_, wl_registry_destroy);
    if (display_) {
        wl_display_disconnect(display_);
    }
}

bool WaylandConnection::Connected() const {
    return display_ && wl_display_get_error(display_) == 0;
}

void WaylandConnection::OnGlobal(void* data, wl_registry*, std::uint32_t name,
                                 const char* interface, std::uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    // No exception may cross libwayland's C frames: a global that finds no memory is missed.
    try {
        self->globals_.push_back({name, interface, version});
        if (self->added_) {
            self->added_(self->globals_.back());
        }
    } catch (const std::bad_alloc&) {
    }
}

void WaylandConnection::OnGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<WaylandConnection*>(data);
    std::erase_if(self->globals_, [name](const WaylandGlobal& g) { return g.name == name; });
    if (self->removed_) {
        self->removed_(name);
    }
}

bool WaylandConnection::Has(const std::string& interface) const {
    return std::any_of(globals_.begin(), globals_.end(),
                       [&](const WaylandGlobal& g) { return g.interface == interface; });
}

void* WaylandConnection::Bind(const wl_interface& interface, std::uint32_t maxVersion,
                              std::uint32_t* version) {
    for (const WaylandGlobal& global : globals_) {
        if (global.interface == interface.name) {
            if (version) {
                *version = std::min(
                    {maxVersion, global.version, static_cast<std::uint32_t>(interface.version)});
            }
            return Bind(global, interface, maxVersion);
        }
    }
    return nullptr;
}

void* WaylandConnection::Bind(const WaylandGlobal& global, const wl_interface& interface,
                              std::uint32_t maxVersion) {
    if (!Connected()) {
        return nullptr;
    }
    const std::uint32_t version =
        std::min({maxVersion, global.version, static_cast<std::uint32_t>(interface.version)});
    return wl_registry_bind(registry_, global.name, &interface, version);
}

void WaylandConnection::WatchGlobals(GlobalAdded added, GlobalRemoved removed) {
    added_ = std::move(added);
    removed_ = std::move(removed);
    const std::vector<WaylandGlobal> known = globals_;
    for (const WaylandGlobal& global : known) {
        if (added_) {
            added_(global);
        }
    }
}

int WaylandConnection::Fd() const {
    return Connected() ? wl_display_get_fd(display_) : -1;
}

void WaylandConnection::DispatchPending() {
    if (!Connected()) {
        return;
    }
    // Reads what the socket holds without blocking, then runs the listeners.
    if (wl_display_prepare_read(display_) == 0) {
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        if (poll(&fd, 1, 0) > 0) {
            wl_display_read_events(display_);
        } else {
            wl_display_cancel_read(display_);
        }
    }
    wl_display_dispatch_pending(display_);
    wl_display_flush(display_);
}

bool WaylandConnection::DispatchUntil(const std::function<bool()>& done, int timeoutMs) {
    const WaitDeadline deadline(timeoutMs);
    while (Connected()) {
        if (wl_display_dispatch_pending(display_) < 0) {
            return false;
        }
        if (done()) {
            return true;
        }
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) {
                return false;
            }
        }
        if (done()) {
            wl_display_cancel_read(display_);
            return true;
        }
        // Requests that find no room in the socket wait for it with the events, under the same
        // deadline: a compositor that stops reading must not hold the program.
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        if (wl_display_flush(display_) < 0) {
            if (errno != EAGAIN) {
                wl_display_cancel_read(display_);
                return false;
            }
            fd.events |= POLLOUT;
        }
        const int left = deadline.LeftMs();
        if (left <= 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        const int ready = poll(&fd, 1, left);
        if (ready > 0 && (fd.revents & (POLLIN | POLLERR | POLLHUP))) {
            if (wl_display_read_events(display_) < 0) {
                return false;
            }
        } else {
            wl_display_cancel_read(display_);  // room to send, or nothing yet: round again
            if (ready < 0 && errno != EINTR) {
                return false;
            }
        }
    }
    return false;
}

bool WaylandConnection::Roundtrip(int timeoutMs) {
    if (!display_) {
        return false;
    }
    bool done = false;
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback* callback = wl_display_sync(display_);
    wl_callback_add_listener(callback, &listener, &done);
    const bool answered = DispatchUntil([&done] { return done; }, timeoutMs);
    wl_callback_destroy(callback);
    return answered;
}

}  // namespace ruvello
