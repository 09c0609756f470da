#pragma once

#include <QFont>
#include <QImage>
#include <QObject>
#include <QRect>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/wayland/output_layout_wayland.h"
#include "platform/wayland/shm_buffer_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"
#include "tray/menu_model.h"

struct wl_compositor;
struct wl_keyboard;
struct wl_pointer;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace ruvello {

// The tray menu as layer-shell surfaces of the program's own, for a Qt that runs on Wayland: a
// Wayland client cannot place a window at the pointer, and a QMenu without a parent window
// becomes an ordinary window that a tiling compositor lays out beside the others. This menu
// opens where the pointer is (or in the corner of the first output when the compositor tells
// no pointer), draws the menu tree itself and follows the pointer and the keys (arrows, Return,
// Escape); a click outside closes it, and so does the compositor when it closes the menu's
// surfaces (their output went away).
class LayerShellMenu {
  public:
    LayerShellMenu(WaylandConnection& connection, WaylandOutputLayout& outputs, MenuTree& tree);
    ~LayerShellMenu();
    LayerShellMenu(const LayerShellMenu&) = delete;
    LayerShellMenu& operator=(const LayerShellMenu&) = delete;

    // Whether the compositor can show it (it has layer shell).
    bool Available() const { return layerShell_ != nullptr; }
    // Shows the menu and returns once it has closed; a chosen item's click has run by then.
    void Popup();
    // Closes an open menu without a choice: the program is ending.
    void Dismiss() {
        open_ = false;
        chosen_ = nullptr;
    }

    struct Panel;
    struct Catcher;

  private:
    void BindSeat();
    Catcher* MakeCatcher(const WaylandOutput& output);
    void OpenPanel(const MenuItem& menu, const WaylandOutput& output, QPoint at, bool leftOf);
    void ClosePanelsAfter(std::size_t depth);
    void Render(Panel& panel);
    void Commit(wl_surface* surface, ShmBuffer& buffer);
    void Close();
    void PointerAt(wl_surface* surface, double x, double y);
    void Press(wl_surface* surface);
    void Key(std::uint32_t key);
    void Choose(Panel& panel, int row);
    void Hover(std::size_t depth, int row);
    Panel* PanelOf(wl_surface* surface, std::size_t* depth = nullptr);

    friend struct Listeners;

    WaylandConnection& connection_;
    WaylandOutputLayout& outputs_;
    MenuTree& tree_;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    QFont font_;

    bool open_ = false;
    const MenuItem* chosen_ = nullptr;
    bool pointerKnown_ = false;
    wl_surface* pointerSurface_ = nullptr;
    QPointF pointerAt_;
    std::vector<std::unique_ptr<Catcher>> catchers_;
    std::vector<std::unique_ptr<Panel>> panels_;  // the root menu, then each open submenu
};

}  // namespace ruvello
