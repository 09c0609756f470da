#include "tray/layer_menu/menu_panel_qt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <memory>
#include <string>

#include "tests/linux/qt_application.h"

namespace ruvello {
namespace {

class MenuPanelTest : public ::testing::Test {
  protected:
    MenuItem& Add(std::string caption) {
        auto item = std::make_unique<MenuItem>();
        item->caption = std::move(caption);
        item->parent = &menu_;
        menu_.children.push_back(std::move(item));
        return *menu_.children.back();
    }

    OffscreenApplication application_;
    QFont font_ = QApplication::font();
    MenuItem menu_;
};

TEST_F(MenuPanelTest, ShowsOnlyVisibleItemsInRowsOneBelowTheOther) {
    Add("Ruvello");
    Add("versteckt").visible = false;
    Add("-");
    Add("Beenden");
    const MenuPanelLayout panel = LayOutMenuPanel(menu_, font_, {10, 20}, false, {800, 600});

    ASSERT_EQ(panel.items.size(), 3u);
    EXPECT_EQ(panel.items[2]->caption, "Beenden");
    for (std::size_t i = 1; i < panel.rows.size(); ++i) {
        EXPECT_EQ(panel.rows[i].top(), panel.rows[i - 1].bottom() + 1);
    }
    EXPECT_LT(panel.rows[1].height(), panel.rows[0].height());  // the separator is thin
    EXPECT_EQ(panel.place.topLeft(), QPoint(10, 20));
    EXPECT_EQ(MenuRowAt(panel, panel.rows[2].center()), 2);
    EXPECT_EQ(MenuRowAt(panel, {panel.place.width() / 2, panel.place.height() + 5}), -1);
}

TEST_F(MenuPanelTest, StaysInsideTheOutputAtItsRightAndBottomEdges) {
    for (int i = 0; i < 6; ++i) {
        Add("Eintrag " + std::to_string(i));
    }
    const QSize screen(400, 300);
    const MenuPanelLayout corner = LayOutMenuPanel(menu_, font_, {399, 299}, false, screen);
    EXPECT_EQ(corner.place.right(), 398);  // opens to the left of the pointer
    EXPECT_EQ(corner.place.bottom(), 299);
    EXPECT_TRUE(QRect(QPoint(0, 0), screen).contains(corner.place));

    // A submenu that would open to the left of its panel but finds no room there starts at 0.
    const MenuPanelLayout left = LayOutMenuPanel(menu_, font_, {30, 0}, true, screen);
    EXPECT_EQ(left.place.left(), 0);

    // An output smaller than the menu: its top left corner stays on the output.
    const MenuPanelLayout tiny = LayOutMenuPanel(menu_, font_, {5, 5}, false, {50, 40});
    EXPECT_GE(tiny.place.left(), 0);
    EXPECT_EQ(tiny.place.top(), 0);
}

TEST_F(MenuPanelTest, KeysStepOverSeparatorsAndDisabledItemsAndWrapAround) {
    Add("Ruvello").enabled = false;
    Add("-");
    Add("Blitz");
    Add("-");
    Add("Beenden");
    const MenuPanelLayout panel = LayOutMenuPanel(menu_, font_, {0, 0}, false, {800, 600});

    EXPECT_EQ(NextMenuRow(panel, -1, 1), 2);   // down from nothing: the first that can be chosen
    EXPECT_EQ(NextMenuRow(panel, -1, -1), 4);  // up from nothing: the last
    EXPECT_EQ(NextMenuRow(panel, 2, 1), 4);
    EXPECT_EQ(NextMenuRow(panel, 4, 1), 2);  // past the end, round to the top
    EXPECT_EQ(NextMenuRow(panel, 2, -1), 4);

    MenuItem empty;
    const MenuPanelLayout none = LayOutMenuPanel(empty, font_, {0, 0}, false, {800, 600});
    EXPECT_EQ(NextMenuRow(none, -1, 1), -1);
}

TEST_F(MenuPanelTest, PaintsTheMarkedRowInTheHighlightColour) {
    Add("Blitz");
    Add("Beenden");
    const MenuPanelLayout panel = LayOutMenuPanel(menu_, font_, {0, 0}, false, {800, 600});
    QImage image(panel.place.size(), QImage::Format_ARGB32_Premultiplied);
    PaintMenuPanel(image, panel, 1, font_);

    const QColor highlight = QApplication::palette().color(QPalette::Highlight);
    const QColor window = QApplication::palette().color(QPalette::Window);
    const QPoint marked(panel.rows[1].left() + 4, panel.rows[1].center().y());
    const QPoint plain(panel.rows[0].left() + 4, panel.rows[0].center().y());
    EXPECT_EQ(image.pixelColor(marked).rgb(), highlight.rgb());
    EXPECT_EQ(image.pixelColor(plain).rgb(), window.rgb());
}

}  // namespace
}  // namespace ruvello
