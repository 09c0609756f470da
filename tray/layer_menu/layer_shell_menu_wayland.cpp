#include "tray/layer_menu/layer_shell_menu_wayland.h"

#include <linux/input-event-codes.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/wayland/wayland_connection_wayland.h"
#include "tray/layer_menu/menu_panel_qt.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace ruvello {
namespace {

constexpr int kConfigureTimeoutMs = 1000;
constexpr int kPointerWaitMs = 150;  // the compositor tells where the pointer is when it enters

}  // namespace

// A full-output surface without a picture that catches the pointer: where it enters tells where
// the pointer is, and a click on it (outside the menu) closes the menu. Outputs are named by
// their globals: any dispatch may remove one.
struct LayerShellMenu::Catcher {
    std::uint32_t output = 0;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    ShmBuffer buffer;
    std::uint32_t width = 0, height = 0;
    bool configured = false;
    bool closed = false;  // by the compositor (its output went): it catches nothing more
};

// One open menu: the root or a submenu, on one output.
struct LayerShellMenu::Panel {
    LayerShellMenu* menu = nullptr;
    MenuPanelLayout layout;
    std::uint32_t output = 0;
    int hover = -1;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    ShmBuffer buffer;
    bool configured = false;
    bool closed = false;
};

struct Listeners {
    static void Configure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial,
                          std::uint32_t width, std::uint32_t height) {
        zwlr_layer_surface_v1_ack_configure(layer, serial);
        auto* catcher = static_cast<LayerShellMenu::Catcher*>(data);
        catcher->width = width;
        catcher->height = height;
        catcher->configured = true;
    }
    static void PanelConfigure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial,
                               std::uint32_t, std::uint32_t) {
        zwlr_layer_surface_v1_ack_configure(layer, serial);
        static_cast<LayerShellMenu::Panel*>(data)->configured = true;
    }
    static void CatcherClosed(void* data, zwlr_layer_surface_v1*) {
        static_cast<LayerShellMenu::Catcher*>(data)->closed = true;
    }
    // A panel the compositor closed is gone, and with it the menu: it closes as if dismissed.
    static void PanelClosed(void* data, zwlr_layer_surface_v1*) {
        auto* panel = static_cast<LayerShellMenu::Panel*>(data);
        panel->closed = true;
        panel->menu->open_ = false;
    }

    // The pointer and keyboard only record what happened; the menu reacts in Qt's event loop,
    // never inside a capture that dispatches events of the same connection.
    static LayerShellMenu& Menu(void* data) { return *static_cast<LayerShellMenu*>(data); }
    static void Later(void* data, std::function<void(LayerShellMenu&)> step) {
        LayerShellMenu* menu = &Menu(data);
        QTimer::singleShot(0, qApp, [menu, step = std::move(step)] {
            if (menu->open_) {
                step(*menu);
            }
        });
    }
    static void Enter(void* data, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t x,
                      wl_fixed_t y) {
        const double px = wl_fixed_to_double(x), py = wl_fixed_to_double(y);
        Later(data, [surface, px, py](LayerShellMenu& m) { m.PointerAt(surface, px, py); });
    }
    static void Motion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
        const double px = wl_fixed_to_double(x), py = wl_fixed_to_double(y);
        Later(data, [px, py](LayerShellMenu& m) { m.PointerAt(m.pointerSurface_, px, py); });
    }
    static void Button(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button,
                       std::uint32_t state) {
        if (state == WL_POINTER_BUTTON_STATE_RELEASED && button == BTN_LEFT) {
            Later(data, [](LayerShellMenu& m) { m.Press(m.pointerSurface_); });
        }
    }
    static void Key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
                    std::uint32_t state) {
        if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
            Later(data, [key](LayerShellMenu& m) { m.Key(key); });
        }
    }
    static void Capabilities(void* data, wl_seat* seat, std::uint32_t caps) {
        LayerShellMenu& m = Menu(data);
        if ((caps & WL_SEAT_CAPABILITY_POINTER) && !m.pointer_) {
            m.pointer_ = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(m.pointer_, &kPointer, data);
        }
        if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !m.keyboard_) {
            m.keyboard_ = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(m.keyboard_, &kKeyboard, data);
        }
    }

    static constexpr zwlr_layer_surface_v1_listener kCatcher = {&Configure, &CatcherClosed};
    static constexpr zwlr_layer_surface_v1_listener kPanel = {&PanelConfigure, &PanelClosed};
    static constexpr wl_pointer_listener kPointer = {
        .enter = &Enter,
        .leave = [](void*, wl_pointer*, std::uint32_t, wl_surface*) {},
        .motion = &Motion,
        .button = &Button,
        .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
        .frame = [](void*, wl_pointer*) {},
        .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
        .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
        .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
        .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    };
    static constexpr wl_keyboard_listener kKeyboard = {
        .keymap = [](void*, wl_keyboard*, std::uint32_t, std::int32_t fd,
                     std::uint32_t) { close(fd); },
        .enter = [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},
        .leave = [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
        .key = &Key,
        .modifiers = [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                        std::uint32_t, std::uint32_t) {},
        .repeat_info = [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
    };
    static constexpr wl_seat_listener kSeat = {
        .capabilities = &Capabilities,
        .name = [](void*, wl_seat*, const char*) {},
    };
};

LayerShellMenu::LayerShellMenu(WaylandConnection& connection, WaylandOutputLayout& outputs,
                               MenuTree& tree)
    : connection_(connection), outputs_(outputs), tree_(tree), font_(QApplication::font()) {
    compositor_ = static_cast<wl_compositor*>(connection_.Bind(wl_compositor_interface, 4));
    shm_ = static_cast<wl_shm*>(connection_.Bind(wl_shm_interface, 1));
    if (compositor_ && shm_) {
        layerShell_ =
            static_cast<zwlr_layer_shell_v1*>(connection_.Bind(zwlr_layer_shell_v1_interface, 4));
    }
}

LayerShellMenu::~LayerShellMenu() {
    Close();
    ReleaseObject(pointer_, wl_pointer_destroy);
    ReleaseObject(keyboard_, wl_keyboard_destroy);
    ReleaseObject(seat_, wl_seat_destroy);
    ReleaseObject(layerShell_, zwlr_layer_shell_v1_destroy);
    ReleaseObject(shm_, wl_shm_destroy);
    ReleaseObject(compositor_, wl_compositor_destroy);
}

void LayerShellMenu::BindSeat() {
    if (seat_) {
        return;
    }
    seat_ = static_cast<wl_seat*>(connection_.Bind(wl_seat_interface, 5));
    if (seat_) {
        wl_seat_add_listener(seat_, &Listeners::kSeat, this);
        connection_.Roundtrip(kConfigureTimeoutMs);
    }
}

void LayerShellMenu::Commit(wl_surface* surface, ShmBuffer& buffer) {
    wl_surface_attach(surface, buffer.Buffer(), 0, 0);
    wl_surface_damage_buffer(surface, 0, 0, buffer.Width(), buffer.Height());
    wl_surface_commit(surface);
}

LayerShellMenu::Catcher* LayerShellMenu::MakeCatcher(const WaylandOutput& output) {
    auto catcher = std::make_unique<Catcher>();
    catcher->output = output.global;
    catcher->surface = wl_compositor_create_surface(compositor_);
    catcher->layer =
        zwlr_layer_shell_v1_get_layer_surface(layerShell_, catcher->surface, output.output,
                                              ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "ruvello-menu");
    zwlr_layer_surface_v1_add_listener(catcher->layer, &Listeners::kCatcher, catcher.get());
    zwlr_layer_surface_v1_set_anchor(
        catcher->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                            ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(catcher->layer, -1);
    wl_surface_commit(catcher->surface);
    catchers_.push_back(std::move(catcher));
    return catchers_.back().get();
}

void LayerShellMenu::Popup() {
    if (!layerShell_ || open_ || outputs_.Outputs().empty()) {
        return;
    }
    BindSeat();
    open_ = true;
    chosen_ = nullptr;
    pointerKnown_ = false;
    for (const auto& output : outputs_.Outputs()) {
        MakeCatcher(*output);
    }
    const WaitDeadline shown(kConfigureTimeoutMs);
    connection_.DispatchUntil(
        [this] {
            return std::all_of(catchers_.begin(), catchers_.end(),
                               [](const auto& c) { return c->configured || c->closed; });
        },
        shown.LeftMs());
    for (auto& catcher : catchers_) {
        if (catcher->closed) {
            continue;
        }
        const auto w = static_cast<std::int32_t>(std::max(catcher->width, 1u));
        const auto h = static_cast<std::int32_t>(std::max(catcher->height, 1u));
        if (catcher->buffer.Ready(shm_, w, h, 4 * w, WL_SHM_FORMAT_ARGB8888)) {
            std::memset(catcher->buffer.Data(), 0, catcher->buffer.Stride() * std::size_t(h));
            Commit(catcher->surface, catcher->buffer);
        }
    }
    connection_.Roundtrip(shown.LeftMs());

    QEventLoop loop;
    QSocketNotifier events(connection_.Fd(), QSocketNotifier::Read);
    QObject::connect(&events, &QSocketNotifier::activated,
                     [this] { connection_.DispatchPending(); });
    // Where the pointer entered a catcher is where the menu opens.
    if (pointer_) {
        QTimer::singleShot(kPointerWaitMs, &loop, [&loop] { loop.exit(); });
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [this, &loop] {
            if (pointerKnown_) {
                loop.exit();
            }
        });
        poll.start(10);
        loop.exec();
    }
    // At the pointer, when it is on an output that is still there; else in the corner of the
    // first output (moved inside by the layout).
    const WaylandOutput* output = nullptr;
    QPoint at;
    for (const auto& catcher : catchers_) {
        if (pointerKnown_ && catcher->surface == pointerSurface_ && !catcher->closed) {
            output = outputs_.Find(catcher->output);
            at = pointerAt_.toPoint();
        }
    }
    if (!output && !outputs_.Outputs().empty()) {
        output = outputs_.Outputs().front().get();
        at = QPoint(output->Place().width, output->Place().height);
    }
    if (!open_ || !output) {  // dismissed meanwhile, or no output left
        Close();
        return;
    }
    OpenPanel(tree_.Root(), *output, at, false);

    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [this, &loop] {
        if (!open_) {
            loop.exit();
        }
    });
    check.start(20);
    loop.exec();
    Close();
    if (chosen_) {
        const MenuItem* chosen = chosen_;
        chosen_ = nullptr;
        tree_.Click(*chosen);
    }
}

void LayerShellMenu::OpenPanel(const MenuItem& menu, const WaylandOutput& output, QPoint at,
                               bool leftOf) {
    auto panel = std::make_unique<Panel>();
    panel->menu = this;
    const LayoutRect screen = output.Place();
    panel->layout = LayOutMenuPanel(menu, font_, at, leftOf, QSize(screen.width, screen.height));
    panel->output = output.global;
    const QRect place = panel->layout.place;

    panel->surface = wl_compositor_create_surface(compositor_);
    panel->layer =
        zwlr_layer_shell_v1_get_layer_surface(layerShell_, panel->surface, output.output,
                                              ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "ruvello-menu");
    zwlr_layer_surface_v1_add_listener(panel->layer, &Listeners::kPanel, panel.get());
    zwlr_layer_surface_v1_set_anchor(
        panel->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    zwlr_layer_surface_v1_set_margin(panel->layer, place.top(), 0, 0, place.left());
    zwlr_layer_surface_v1_set_size(panel->layer, static_cast<std::uint32_t>(place.width()),
                                   static_cast<std::uint32_t>(place.height()));
    zwlr_layer_surface_v1_set_exclusive_zone(panel->layer, -1);
    if (panels_.empty()) {
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            panel->layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    }
    wl_surface_commit(panel->surface);
    Panel* shown = panel.get();
    panels_.push_back(std::move(panel));
    connection_.DispatchUntil([shown] { return shown->configured || shown->closed; },
                              kConfigureTimeoutMs);
    Render(*shown);
}

void LayerShellMenu::Render(Panel& panel) {
    if (panel.closed) {
        return;
    }
    const int width = panel.layout.place.width(), height = panel.layout.place.height();
    if (!panel.buffer.Ready(shm_, width, height, 4 * width, WL_SHM_FORMAT_ARGB8888)) {
        return;
    }
    // ARGB32 premultiplied is ARGB8888 in memory: Qt paints straight into the shared buffer.
    QImage image(panel.buffer.Data(), width, height, 4 * width,
                 QImage::Format_ARGB32_Premultiplied);
    PaintMenuPanel(image, panel.layout, panel.hover, font_);
    Commit(panel.surface, panel.buffer);
    wl_display_flush(connection_.Display());
}

LayerShellMenu::Panel* LayerShellMenu::PanelOf(wl_surface* surface, std::size_t* depth) {
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        if (panels_[i]->surface == surface) {
            if (depth) {
                *depth = i;
            }
            return panels_[i].get();
        }
    }
    return nullptr;
}

void LayerShellMenu::PointerAt(wl_surface* surface, double x, double y) {
    pointerSurface_ = surface;
    pointerAt_ = QPointF(x, y);
    pointerKnown_ = true;
    std::size_t depth = 0;
    Panel* panel = PanelOf(surface, &depth);
    if (!panel) {
        return;
    }
    const int row = MenuRowAt(panel->layout, QPoint(static_cast<int>(x), static_cast<int>(y)));
    if (row != panel->hover) {
        Hover(depth, row);
    }
}

// Marks a row; a submenu under it opens beside it, deeper ones close.
void LayerShellMenu::Hover(std::size_t depth, int row) {
    Panel& panel = *panels_[depth];
    panel.hover = row;
    ClosePanelsAfter(depth);
    Render(panel);
    if (row >= 0) {
        const MenuItem& item = *panel.layout.items[static_cast<std::size_t>(row)];
        const WaylandOutput* output = outputs_.Find(panel.output);
        if (item.IsSubmenu() && item.enabled && output) {
            const QRect& r = panel.layout.rows[static_cast<std::size_t>(row)];
            const QRect place = panel.layout.place;
            const bool roomRight = place.right() + 200 < output->Place().width;
            OpenPanel(item, *output,
                      QPoint(roomRight ? place.right() + 1 : place.left(), place.top() + r.top()),
                      !roomRight);
        }
    }
}

void LayerShellMenu::ClosePanelsAfter(std::size_t depth) {
    while (panels_.size() > depth + 1) {
        Panel& panel = *panels_.back();
        zwlr_layer_surface_v1_destroy(panel.layer);
        wl_surface_destroy(panel.surface);
        panels_.pop_back();
    }
}

void LayerShellMenu::Choose(Panel& panel, int row) {
    if (row < 0) {
        return;
    }
    const MenuItem& item = *panel.layout.items[static_cast<std::size_t>(row)];
    if (item.IsSeparator() || !item.enabled || item.IsSubmenu()) {
        return;
    }
    chosen_ = &item;
    open_ = false;
}

void LayerShellMenu::Press(wl_surface* surface) {
    if (Panel* panel = PanelOf(surface)) {
        Choose(*panel, panel->hover);
    } else {
        open_ = false;  // a click outside the menu
    }
}

void LayerShellMenu::Key(std::uint32_t key) {
    if (panels_.empty()) {
        return;
    }
    const std::size_t depth = panels_.size() - 1;
    Panel& panel = *panels_[depth];
    auto step = [&](int direction) {
        if (const int row = NextMenuRow(panel.layout, panel.hover, direction); row >= 0) {
            Hover(depth, row);
        }
    };
    switch (key) {
        case KEY_DOWN:
            step(1);
            break;
        case KEY_UP:
            step(-1);
            break;
        case KEY_RIGHT:
            if (panel.hover >= 0 &&
                panel.layout.items[static_cast<std::size_t>(panel.hover)]->IsSubmenu()) {
                Hover(depth, panel.hover);  // opens it
                if (panels_.size() > depth + 1) {
                    Key(KEY_DOWN);  // and marks its first item
                }
            }
            break;
        case KEY_LEFT:
            if (depth > 0) {
                ClosePanelsAfter(depth - 1);
            }
            break;
        case KEY_ENTER:
        case KEY_KPENTER:
        case KEY_SPACE:
            Choose(panel, panel.hover);
            break;
        case KEY_ESC:
            open_ = false;
            break;
        default:
            break;
    }
}

void LayerShellMenu::Close() {
    ClosePanelsAfter(0);
    if (!panels_.empty()) {
        zwlr_layer_surface_v1_destroy(panels_[0]->layer);
        wl_surface_destroy(panels_[0]->surface);
        panels_.clear();
    }
    for (auto& catcher : catchers_) {
        zwlr_layer_surface_v1_destroy(catcher->layer);
        wl_surface_destroy(catcher->surface);
    }
    catchers_.clear();
    open_ = false;
    if (connection_.Connected()) {
        connection_.Roundtrip(kConfigureTimeoutMs);
    }
}

}  // namespace ruvello
