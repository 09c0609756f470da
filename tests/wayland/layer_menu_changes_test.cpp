// The layer-shell tray menu when the compositor closes its surfaces or takes an output away
// under it.
#include <gtest/gtest.h>

#include <QTimer>

#include "tests/linux/qt_application.h"
#include "tests/wayland/wayland_client_rig.h"
#include "tray/layer_menu/layer_shell_menu_wayland.h"
#include "tray/menu_model.h"

namespace ruvello::wltest {
namespace {

using LayerSurface = TestCompositor::LayerSurface;

const OutputSpec kLeft{"LEFT", 0, 0, 640, 480, 0};
const OutputSpec kRight{"RIGHT", 640, 0, 800, 600, 0};

// The menu's own panel: a surface of a given size at the top left; the catchers fill an output.
bool IsPanel(const LayerSurface& layer) {
    return layer.nameSpace == "ruvello-menu" && layer.width > 0;
}
bool IsCatcher(const LayerSurface& layer) {
    return layer.nameSpace == "ruvello-menu" && layer.width == 0;
}

class LayerMenuWhileOutputsChange : public ::testing::Test {
  protected:
    explicit LayerMenuWhileOutputsChange(CompositorOptions options = {.copy = CopyProtocol::kNone})
        : compositor_({kLeft}, options) {}

    // Pops the menu up; false when it had to be dismissed after the long wait.
    bool PopupReturns() {
        bool dismissed = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            dismissed = true;
            menu_->Dismiss();
        });
        watchdog.start(kLongWaitMs);
        menu_->Popup();
        return !dismissed;
    }

    // Where a surface of the menu was shown, as the compositor saw it.
    struct Shown {
        std::string output;
        std::int32_t left = 0, top = 0, width = 0, height = 0;
    };
    std::vector<Shown> ShownSurfaces(bool (*kind)(const LayerSurface&)) {
        return compositor_.Run([&] {
            std::vector<Shown> shown;
            for (LayerSurface* layer : compositor_.LayerSurfaces()) {
                if (kind(*layer) && layer->buffersShown > 0) {
                    shown.push_back({TestCompositor::OutputOf(*layer), layer->marginLeft,
                                     layer->marginTop, layer->bufferWidth, layer->bufferHeight});
                }
            }
            return shown;
        });
    }

    OffscreenApplication application_;
    TestCompositor compositor_;
    WaylandClient client_{compositor_};
    MenuTree tree_;
    std::unique_ptr<LayerShellMenu> menu_ =
        std::make_unique<LayerShellMenu>(*client_.connection, *client_.layout, tree_);
};

TEST_F(LayerMenuWhileOutputsChange, TheMenuClosesWhenTheCompositorClosesItAndOpensAgain) {
    ASSERT_TRUE(menu_->Available());
    // Its output goes while the menu is up: the compositor closes the menu's surfaces on it.
    compositor_.Run([this] {
        compositor_.onLayerShown = [this](LayerSurface& layer) {
            if (IsPanel(layer)) {
                compositor_.onLayerShown = nullptr;
                compositor_.RemoveOutput("LEFT");
            }
        };
    });
    EXPECT_TRUE(PopupReturns()) << "the menu stayed open after the compositor closed it";

    compositor_.Run([this] {
        compositor_.AddOutput(kRight);
        // This time the compositor closes the menu without a reason the client can see.
        compositor_.onLayerShown = [this](LayerSurface& layer) {
            if (IsPanel(layer)) {
                compositor_.onLayerShown = nullptr;
                for (LayerSurface* open : compositor_.LayerSurfaces()) {
                    compositor_.CloseLayerSurface(*open);
                }
            }
        };
    });
    client_.Sync();
    EXPECT_TRUE(PopupReturns()) << "the menu stayed open after the compositor closed it";
    const std::vector<Shown> panels = ShownSurfaces(&IsPanel);
    ASSERT_EQ(panels.size(), 2u) << "the menu did not open again";
    EXPECT_EQ(panels[1].output, "RIGHT");
}

class LayerMenuWithPointer : public LayerMenuWhileOutputsChange {
  protected:
    LayerMenuWithPointer()
        : LayerMenuWhileOutputsChange({.copy = CopyProtocol::kNone, .pointer = true}) {}
};

TEST_F(LayerMenuWithPointer, AnOutputRemovedWhileTheMenuLooksForThePointerIsLeftAlone) {
    compositor_.Run([this] { compositor_.AddOutput(kRight); });
    client_.Sync();
    // The pointer enters the catcher on RIGHT, and RIGHT goes at once.
    compositor_.Run([this] {
        compositor_.onLayerShown = [this](LayerSurface&) {
            std::vector<LayerSurface*> catchers;
            for (LayerSurface* layer : compositor_.LayerSurfaces()) {
                if (IsCatcher(*layer) && layer->buffersShown > 0) {
                    catchers.push_back(layer);
                }
            }
            if (catchers.size() < 2) {
                return;
            }
            compositor_.onLayerShown = nullptr;
            for (LayerSurface* catcher : catchers) {
                if (TestCompositor::OutputOf(*catcher) == "RIGHT") {
                    compositor_.PointerEnter(*catcher, 30, 20);
                }
            }
            compositor_.RemoveOutput("RIGHT");
        };
    });
    // The test closes the menu once its panel is up.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [this] {
        if (!ShownSurfaces(&IsPanel).empty()) {
            menu_->Dismiss();
        }
    });
    closer.start(20);
    EXPECT_TRUE(PopupReturns()) << "the menu never showed";

    const std::vector<Shown> panels = ShownSurfaces(&IsPanel);
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0].output, "LEFT");
    EXPECT_GE(panels[0].left, 0);
    EXPECT_LE(panels[0].left + panels[0].width, kLeft.width);
    EXPECT_LE(panels[0].top + panels[0].height, kLeft.height);
}

}  // namespace
}  // namespace ruvello::wltest
