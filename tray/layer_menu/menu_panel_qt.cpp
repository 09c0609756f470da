#include "tray/layer_menu/menu_panel_qt.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace ruvello {
namespace {

constexpr int kPadding = 4;
constexpr int kGutter = 24;  // room for the check mark, and for the submenu arrow
constexpr int kSeparatorHeight = 9;
constexpr int kMinimumWidth = 120;

}  // namespace

MenuPanelLayout LayOutMenuPanel(const MenuItem& menu, const QFont& font, QPoint at, bool leftOf,
                                QSize screen) {
    MenuPanelLayout panel;
    panel.menu = &menu;
    const QFontMetrics metrics(font);
    const int rowHeight = metrics.height() + 2 * kPadding;
    int width = kMinimumWidth, y = kPadding;
    for (const auto& child : menu.children) {
        if (!child->visible) {
            continue;
        }
        const int height = child->IsSeparator() ? kSeparatorHeight : rowHeight;
        panel.items.push_back(child.get());
        panel.rows.emplace_back(0, y, 0, height);
        y += height;
        if (!child->IsSeparator()) {
            const QString text = QString::fromStdString(child->caption);
            width = std::max(width, metrics.horizontalAdvance(text) + 2 * kGutter);
        }
    }
    for (QRect& row : panel.rows) {
        row.setWidth(width);
    }
    const int height = y + kPadding;
    int x = leftOf ? at.x() - width : at.x();
    if (x + width > screen.width()) {
        x = leftOf ? 0 : at.x() - width;
    }
    int top = at.y();
    if (top + height > screen.height()) {
        top = std::max(0, screen.height() - height);
    }
    panel.place = QRect(std::max(0, x), std::max(0, top), width, height);
    return panel;
}

void PaintMenuPanel(QImage& image, const MenuPanelLayout& panel, int hover, const QFont& font) {
    const int width = image.width();
    const QPalette palette = QApplication::palette();
    QPainter painter(&image);
    painter.setFont(font);
    painter.fillRect(image.rect(), palette.color(QPalette::Window));
    painter.setPen(palette.color(QPalette::Mid));
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    for (std::size_t i = 0; i < panel.items.size(); ++i) {
        const MenuItem& item = *panel.items[i];
        const QRect row = panel.rows[i];
        if (item.IsSeparator()) {
            painter.setPen(palette.color(QPalette::Mid));
            painter.drawLine(kPadding, row.center().y(), width - kPadding, row.center().y());
            continue;
        }
        const bool hovered = static_cast<int>(i) == hover && item.enabled;
        if (hovered) {
            painter.fillRect(row.adjusted(2, 0, -2, 0), palette.color(QPalette::Highlight));
        }
        painter.setPen(!item.enabled ? palette.color(QPalette::Disabled, QPalette::WindowText)
                       : hovered     ? palette.color(QPalette::HighlightedText)
                                     : palette.color(QPalette::WindowText));
        const QRect text = row.adjusted(kGutter, 0, -kGutter, 0);
        painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                         QString::fromStdString(item.caption));
        if (item.checked) {
            painter.drawText(QRect(row.left(), row.top(), kGutter, row.height()), Qt::AlignCenter,
                             QStringLiteral("\u2713"));
        }
        if (item.IsSubmenu()) {
            painter.drawText(QRect(row.right() - kGutter, row.top(), kGutter, row.height()),
                             Qt::AlignCenter, QStringLiteral("\u25B8"));
        }
    }
}

int MenuRowAt(const MenuPanelLayout& panel, QPoint point) {
    int row = -1;
    for (std::size_t i = 0; i < panel.rows.size(); ++i) {
        if (panel.rows[i].contains(point)) {
            row = static_cast<int>(i);
        }
    }
    return row;
}

int NextMenuRow(const MenuPanelLayout& panel, int hover, int direction) {
    const int count = static_cast<int>(panel.items.size());
    const int from = hover < 0 ? (direction > 0 ? -1 : 0) : hover;
    for (int i = 1; i <= count; ++i) {
        const int row = (from + direction * i + count) % count;
        const MenuItem& item = *panel.items[static_cast<std::size_t>(row)];
        if (!item.IsSeparator() && item.enabled) {
            return row;
        }
    }
    return -1;
}

}  // namespace ruvello
