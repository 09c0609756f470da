// The screen of bench/compare_routes.py, drawn the same way on every desktop (X11, sway, mutter):
// one frameless full-screen window per screen, together showing a photo of the whole virtual
// screen, each screen its part of it. With --busy, a clock in the top right corner of the
// rightmost screen and a terminal of 24 lines near the bottom left of the leftmost one change
// twice a second (the clock ticks, the terminal prints a line and scrolls), as on a desktop in
// use, so that every screenshot a second apart finds both changed; only those two places are
// drawn again.
//
//   scene_window PHOTO [--busy] [--tiled]
//
// Prints "shown" once every window has drawn its part of the photo.

#include <QApplication>
#include <QFontDatabase>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "terminal_lines.h"

namespace {

constexpr int kTerminalRows = 24;
constexpr int kLineHeight = 16;

class SceneWindow : public QWidget {
  public:
    SceneWindow(QScreen* screen, const QImage& part, int index) : part_(part) {
        setWindowTitle(QStringLiteral("ruvello-scene-%1").arg(index));
        setWindowFlag(Qt::FramelessWindowHint);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setScreen(screen);
        setGeometry(screen->geometry());
        font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font_.setPixelSize(13);
    }

    void ShowClock() { clock_ = QRect(part_.width() - 220, 2, 200, 24); }
    void ShowTerminal() {
        terminal_ = QRect(40, part_.height() - part_.height() / 12 - kTerminalRows * kLineHeight,
                          608, kTerminalRows * kLineHeight);
    }
    void Step(int step) {
        step_ = step;
        if (!clock_.isEmpty()) {
            update(clock_);
        }
        if (!terminal_.isEmpty()) {
            update(terminal_);
        }
    }
    bool Drawn() const { return drawn_; }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.drawImage(event->rect(), part_, event->rect());
        painter.setFont(font_);
        // Nothing drawn beyond the two places: the rest is the photo, as the comparison checks.
        if (!clock_.isEmpty() && event->rect().intersects(clock_)) {
            painter.setClipRect(clock_);
            const int minutes = 9 * 60 + step_;
            painter.fillRect(clock_, QColor(0x30, 0x34, 0x38));
            painter.setPen(QColor(0xf0, 0xf0, 0xf0));
            painter.drawText(clock_.adjusted(8, 0, 0, 0), Qt::AlignVCenter,
                             QString::asprintf("Di 14. Jan  %02d:%02d:%02d", (minutes / 60) % 24,
                                               minutes % 60, step_ % 60));
        }
        if (!terminal_.isEmpty() && event->rect().intersects(terminal_)) {
            painter.setClipRect(terminal_);
            painter.fillRect(terminal_, QColor(0x10, 0x10, 0x10));
            for (int row = 0; row < kTerminalRows; ++row) {
                painter.setPen(row % 5 == 0 ? QColor(0x7f, 0xd0, 0xff) : QColor(0xd0, 0xd0, 0xd0));
                painter.drawText(terminal_.left() + 4, terminal_.top() + row * kLineHeight + 12,
                                 QString::fromStdString(ruvello::bench::TerminalLine(step_ + row)));
            }
        }
        drawn_ = true;
    }

  private:
    QImage part_;
    QFont font_;
    QRect clock_;
    QRect terminal_;
    int step_ = 0;
    bool drawn_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: scene_window PHOTO [--busy]\n");
        return 2;
    }
    const QImage photo =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    const bool busy = std::find(argv + 1, argv + argc, std::string("--busy")) != argv + argc;
    QList<QScreen*> screens = QGuiApplication::screens();
    std::sort(screens.begin(), screens.end(),
              [](QScreen* a, QScreen* b) { return a->geometry().x() < b->geometry().x(); });
    QRect virtualScreen;
    for (QScreen* screen : screens) {
        virtualScreen |= screen->geometry();
    }
    std::vector<std::unique_ptr<SceneWindow>> windows;
    for (QScreen* screen : screens) {
        const QRect g = screen->geometry().translated(-virtualScreen.topLeft());
        windows.push_back(
            std::make_unique<SceneWindow>(screen, photo.copy(g), static_cast<int>(windows.size())));
    }
    if (busy) {
        windows.front()->ShowTerminal();
        windows.back()->ShowClock();
    }
    // --tiled: plain windows, which a tiling compositor sizes to fill their outputs as well once
    // each is moved to its own (they are titled ruvello-scene-N, left to right); a full-screen
    // surface may be shown as it is (direct scan-out), and then the whole output counts as
    // changed whenever it changes.
    const bool tiled = std::find(argv + 1, argv + argc, std::string("--tiled")) != argv + argc;
    for (const auto& window : windows) {
        tiled ? window->show() : window->showFullScreen();
    }
    int step = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++step;
        for (const auto& window : windows) {
            window->Step(step);
        }
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (std::all_of(windows.begin(), windows.end(), [](const auto& w) { return w->Drawn(); })) {
            poll.stop();
            std::printf("shown\n");
            std::fflush(stdout);
            if (busy) {
                tick.start(500);
            }
        }
    });
    poll.start(50);
    return QApplication::exec();
}
