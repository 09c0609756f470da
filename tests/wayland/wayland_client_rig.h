#pragma once

#include <stdlib.h>

#include <memory>

#include "platform/wayland/output_layout_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"
#include "tests/wayland/test_compositor.h"

namespace ruvello::wltest {

// Generous for a loaded machine and a sanitized build; a test that passes waits far less.
constexpr int kLongWaitMs = 20000;

// The program's own connection and output layout, as the program makes them, on the test
// compositor's socket.
struct WaylandClient {
    explicit WaylandClient(TestCompositor& compositor) {
        unsetenv("WAYLAND_DISPLAY");
        compositor.ExportClientSocket();
        connection = std::make_unique<WaylandConnection>();
        layout = std::make_unique<WaylandOutputLayout>(*connection);
    }

    // Returns once the client has handled all the compositor sent, and the answers to what that
    // made it ask (the events of an output it bound).
    void Sync() {
        connection->Roundtrip(kLongWaitMs);
        connection->Roundtrip(kLongWaitMs);
    }

    std::unique_ptr<WaylandConnection> connection;
    std::unique_ptr<WaylandOutputLayout> layout;
};

}  // namespace ruvello::wltest
