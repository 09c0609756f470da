// A frame of the benchmarks full-screen on every screen of a Wayland desktop that draws no
// background of its own (KWin without Plasma's shell): "show_frame FRAME.png" prints "shown"
// once every window has been drawn.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

class FrameWindow : public QWidget {
  public:
    FrameWindow(const QImage& frame, QScreen* screen) : frame_(frame) {
        setWindowFlag(Qt::FramelessWindowHint);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setScreen(screen);
        setGeometry(screen->geometry());
    }
    bool drawn() const { return drawn_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).drawImage(0, 0, frame_);
        drawn_ = true;
    }

  private:
    QImage frame_;
    bool drawn_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QImage frame = argc > 1 ? QImage(QString::fromLocal8Bit(argv[1])) : QImage();
    if (frame.isNull()) {
        std::fprintf(stderr, "usage: show_frame FRAME.png\n");
        return 2;
    }
    std::vector<std::unique_ptr<FrameWindow>> windows;
    for (QScreen* screen : QGuiApplication::screens()) {
        windows.push_back(std::make_unique<FrameWindow>(frame, screen));
        windows.back()->showFullScreen();
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (const auto& window : windows) {
            if (!window->drawn()) {
                return;
            }
        }
        poll.stop();
        std::puts("shown");
        std::fflush(stdout);
    });
    poll.start(50);
    return QApplication::exec();
}
