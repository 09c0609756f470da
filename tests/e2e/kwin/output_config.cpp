// Changes KWin's outputs as the display settings do, over kde-output-management-v2: a monitor
// switched off is gone from the desktop as one unplugged, one switched on is back.
//
//   output_config list                      prints "NAME X Y enabled|disabled" per output
//   output_config OP... where OP is         enable NAME | disable NAME | position NAME X Y |
//                                           scale NAME FACTOR
//
// Exits 0 once KWin applied the change. KWin lets only clients whose desktop entry lists the
// interface in X-KDE-Wayland-Interfaces change outputs (the tests write one, as Plasma's own
// display settings have). kscreen-doctor, which would do the same, crashes on Debian 12 while
// it applies a change.

#include <poll.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"

namespace {

struct Output {
    kde_output_device_v2* device = nullptr;
    std::string name;
    int x = 0, y = 0;
    bool enabled = false;
};

struct State {
    std::vector<Output*> outputs;
    kde_output_management_v2* management = nullptr;
    int result = -1;  // 1 applied, 0 failed
};

Output& Of(void* data) {
    return *static_cast<Output*>(data);
}

const kde_output_device_v2_listener kDeviceListener = {
    [](void* data, kde_output_device_v2*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
       const char*, const char*, int32_t) {
        Of(data).x = x;
        Of(data).y = y;
    },
    [](void*, kde_output_device_v2*, kde_output_device_mode_v2*) {},
    [](void*, kde_output_device_v2*, kde_output_device_mode_v2*) {},
    [](void*, kde_output_device_v2*) {},
    [](void*, kde_output_device_v2*, wl_fixed_t) {},
    [](void*, kde_output_device_v2*, const char*) {},
    [](void* data, kde_output_device_v2*, int32_t enabled) { Of(data).enabled = enabled != 0; },
    [](void*, kde_output_device_v2*, const char*) {},
    [](void*, kde_output_device_v2*, const char*) {},
    [](void*, kde_output_device_v2*, const char*) {},
    [](void*, kde_output_device_v2*, uint32_t) {},
    [](void*, kde_output_device_v2*, uint32_t) {},
    [](void*, kde_output_device_v2*, uint32_t) {},
    [](void*, kde_output_device_v2*, uint32_t) {},
    [](void* data, kde_output_device_v2*, const char* name) { Of(data).name = name; },
};

const wl_registry_listener kRegistryListener = {
    [](void* data, wl_registry* registry, uint32_t id, const char* interface, uint32_t version) {
        auto& state = *static_cast<State*>(data);
        if (std::strcmp(interface, kde_output_device_v2_interface.name) == 0 && version >= 2) {
            auto* output = new Output;
            output->device = static_cast<kde_output_device_v2*>(
                wl_registry_bind(registry, id, &kde_output_device_v2_interface, 2));
            kde_output_device_v2_add_listener(output->device, &kDeviceListener, output);
            state.outputs.push_back(output);
        } else if (std::strcmp(interface, kde_output_management_v2_interface.name) == 0) {
            state.management = static_cast<kde_output_management_v2*>(
                wl_registry_bind(registry, id, &kde_output_management_v2_interface, 1));
        }
    },
    [](void*, wl_registry*, uint32_t) {},
};

const kde_output_configuration_v2_listener kConfigurationListener = {
    [](void* data, kde_output_configuration_v2*) { static_cast<State*>(data)->result = 1; },
    [](void* data, kde_output_configuration_v2*) { static_cast<State*>(data)->result = 0; },
};

Output* Find(State& state, const char* name) {
    for (Output* output : state.outputs) {
        if (output->name == name) {
            return output;
        }
    }
    std::fprintf(stderr, "no output %s\n", name);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 2;
    }
    State state;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, &state);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (argc < 2 || std::strcmp(argv[1], "list") == 0) {
        for (const Output* output : state.outputs) {
            std::printf("%s %d %d %s\n", output->name.c_str(), output->x, output->y,
                        output->enabled ? "enabled" : "disabled");
        }
        return 0;
    }
    if (!state.management) {
        std::fprintf(stderr, "KWin offers no output management to this program\n");
        return 2;
    }
    kde_output_configuration_v2* configuration =
        kde_output_management_v2_create_configuration(state.management);
    kde_output_configuration_v2_add_listener(configuration, &kConfigurationListener, &state);
    for (int i = 1; i < argc; ++i) {
        const std::string op = argv[i];
        if ((op == "enable" || op == "disable") && i + 1 < argc) {
            kde_output_configuration_v2_enable(configuration, Find(state, argv[++i])->device,
                                               op == "enable");
        } else if (op == "position" && i + 3 < argc) {
            Output* output = Find(state, argv[i + 1]);
            kde_output_configuration_v2_position(configuration, output->device,
                                                 std::atoi(argv[i + 2]), std::atoi(argv[i + 3]));
            i += 3;
        } else if (op == "scale" && i + 2 < argc) {
            kde_output_configuration_v2_scale(configuration, Find(state, argv[i + 1])->device,
                                              wl_fixed_from_double(std::atof(argv[i + 2])));
            i += 2;
        } else {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 2;
        }
    }
    kde_output_configuration_v2_apply(configuration);
    // KWin answers within a frame or two; a generous deadline for a loaded machine.
    for (int waited = 0; state.result < 0 && waited < 60000; waited += 100) {
        wl_display_flush(display);
        pollfd ready{wl_display_get_fd(display), POLLIN, 0};
        if (poll(&ready, 1, 100) > 0) {
            wl_display_dispatch(display);
        } else {
            wl_display_dispatch_pending(display);
        }
    }
    std::puts(state.result == 1 ? "applied" : "failed");
    return state.result == 1 ? 0 : 1;
}
