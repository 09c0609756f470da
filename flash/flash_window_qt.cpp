#include "flash/flash_window_qt.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/x11_sync_qt.h"

namespace ruvello {

void QtFlashWindow::Load() {
    window_ = std::make_unique<QWidget>(
        nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                     Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                     Qt::WindowDoesNotAcceptFocus);
    window_->setWindowTitle(QStringLiteral("Blitz"));
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->setStyleSheet(QStringLiteral("background: white;"));
    window_->setAutoFillBackground(true);
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, Qt::white);
    window_->setPalette(palette);
}

void QtFlashWindow::SetTopmost() {
    if (window_) {
        window_->raise();
    }
}

void QtFlashWindow::SetAlpha(std::uint8_t alpha) {
    if (window_) {
        window_->setWindowOpacity(alpha / 255.0);
    }
}

// The rectangle comes in device pixels; Qt places windows in its scaled coordinates.
void QtFlashWindow::MoveTo(const ScreenRect& rect) {
    if (!window_) {
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double ratio = screen ? screen->devicePixelRatio() : 1.0;
    window_->setGeometry(
        QRect(static_cast<int>(rect.left / ratio), static_cast<int>(rect.top / ratio),
              static_cast<int>(rect.width / ratio), static_cast<int>(rect.height / ratio)));
}

void QtFlashWindow::Show() {
    if (window_) {
        window_->show();
        window_->raise();
    }
}

// The capture that follows runs on another display connection: the overlay must be gone on the
// server before it starts.
void QtFlashWindow::Unload() {
    if (window_) {
        window_.reset();
        SyncQtWithXServer();
    }
}

}  // namespace ruvello
