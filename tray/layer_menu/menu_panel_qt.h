#pragma once

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

#include "tray/menu_model.h"

namespace ruvello {

// One open menu of the layer-shell tray menu, the root or a submenu, as Qt draws it: which items
// it shows, where their rows are and where it sits on its output.
struct MenuPanelLayout {
    const MenuItem* menu = nullptr;
    std::vector<const MenuItem*> items;  // the shown children, in order
    std::vector<QRect> rows;             // one per item, in panel coordinates
    QRect place;                         // on the output, in logical pixels
};

// Lays out the shown children of `menu` in `font`, its top left corner at `at` (its top right
// corner with `leftOf`), moved so that it stays inside an output of size `screen`: a menu at
// the right or bottom edge opens to the left or upwards.
MenuPanelLayout LayOutMenuPanel(const MenuItem& menu, const QFont& font, QPoint at, bool leftOf,
                                QSize screen);

// Paints the panel into `image` (the size of its place), the row `hover` marked.
void PaintMenuPanel(QImage& image, const MenuPanelLayout& panel, int hover, const QFont& font);

// The row under `point` (panel coordinates), -1 where there is none.
int MenuRowAt(const MenuPanelLayout& panel, QPoint point);

// The next row after `hover` in `direction` (+1 down, -1 up, wrapping) that can be chosen or
// opened; -1 when the panel has none. From no row, down starts at the top and up at the bottom.
int NextMenuRow(const MenuPanelLayout& panel, int hover, int direction);

}  // namespace ruvello
