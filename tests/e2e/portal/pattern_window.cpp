// A known picture on every monitor of a Wayland desktop: one full-screen window per screen,
// each filled with the pattern that pattern_pixel() in portal_services.py computes. Prints
// "shown PHASE" once every window has been drawn; "change" on stdin moves to the next picture.
// A monitor that comes gets a window of its own, one that goes takes its window along; then
// "screens COUNT shown PHASE" follows once every window has been drawn.
// New windows are told only once the compositor has drawn them after its effects for windows
// that come and go are surely over: mutter scales a new window up from half its size and fades
// a closed one out for a quarter of a second, and a picture taken then matches no pattern.
// "animate HZ" moves a small square over the first screen HZ times a second (0: stops it), as a
// moving window or a video changes a screen.

#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// Well beyond the effects of mutter (250 ms) and KWin; counted from a frame that showed the
// new windows, so a slow machine only makes the wait longer.
constexpr qint64 kEffectsOverMs = 1000;

QImage Pattern(int index, int phase, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            row[x] = qRgb((x + 3 * index + 17 * phase) % 256, (y + 5 * index) % 256,
                          ((x / 8 + y / 8) * 40 + 60 * index) % 256);
        }
    }
    return image;
}

class PatternWindow : public QWidget {
  public:
    PatternWindow(int index, QScreen* screen) : index_(index), screen_(screen) {
        setWindowFlag(Qt::FramelessWindowHint);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setScreen(screen);
        setGeometry(screen->geometry());
    }
    void Show(int phase) {
        phase_ = phase;
        drawn_ = -1;
        update();
    }
    void MoveSquare(int step) {
        const QRect old = square_;
        square_ = QRect((step * 7) % std::max(1, width() - 64),
                        (step * 3) % std::max(1, height() - 64), 64, 64);
        update(old.united(square_));
    }
    int drawn() const { return drawn_; }
    QScreen* shows() const { return screen_; }
    int paints() const { return paints_; }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (image_.size() != size() || imagePhase_ != phase_) {
            image_ = Pattern(index_, phase_, size());
            imagePhase_ = phase_;
        }
        QPainter painter(this);
        painter.drawImage(event->rect(), image_, event->rect());
        if (!square_.isEmpty()) {
            painter.fillRect(square_, Qt::white);
        }
        drawn_ = phase_;
        ++paints_;
    }

  private:
    int index_;
    QScreen* screen_;
    int phase_ = 0;
    int drawn_ = -1;
    int paints_ = 0;
    QImage image_;
    int imagePhase_ = -1;
    QRect square_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<PatternWindow>> windows;
    int phase = 0;
    int told = -1;
    bool screensChanged = false;
    // Rounds of "paint once more" still to see before telling, and whether the windows are new
    // (their effects to be waited out after the first round). Qt paints again only when the
    // compositor's frame callback says the last picture was shown, so the second of two rounds
    // asked for after a moment proves a frame drawn after that moment.
    int rounds = 0;
    bool newWindows = false;
    QElapsedTimer quiet;
    std::vector<int> paintsAtPhase;
    // Screens numbered as mutter made its monitors (Meta-0, Meta-1 ...), else by their places,
    // left to right, as the tests number the monitors.
    auto number = [](QScreen* screen, int rank) {
        const QString name = screen->name();
        bool ok = false;
        const int n = name.startsWith(QStringLiteral("Meta-")) ? name.mid(5).toInt(&ok) : 0;
        return ok ? n : rank;
    };
    auto layout = [&] {
        QList<QScreen*> screens = QGuiApplication::screens();
        std::sort(screens.begin(), screens.end(), [](QScreen* a, QScreen* b) {
            const QPoint pa = a->geometry().topLeft(), pb = b->geometry().topLeft();
            return pa.x() != pb.x() ? pa.x() < pb.x() : pa.y() < pb.y();
        });
        windows.clear();
        for (int rank = 0; rank < screens.size(); ++rank) {
            windows.push_back(
                std::make_unique<PatternWindow>(number(screens[rank], rank), screens[rank]));
            windows.back()->Show(phase);
            windows.back()->showFullScreen();
        }
        paintsAtPhase.clear();
        told = -1;
        rounds = 1;
        newWindows = true;
        quiet.invalidate();
    };
    layout();
    // The windows are made anew once the screens have settled: a new layout may come as several
    // screens that go and come.
    QTimer settle;
    settle.setSingleShot(true);
    settle.setInterval(300);
    QObject::connect(&settle, &QTimer::timeout, [&] {
        screensChanged = true;
        layout();
    });
    QObject::connect(&app, &QGuiApplication::screenAdded, [&] { settle.start(); });
    QObject::connect(&app, &QGuiApplication::screenRemoved, [&](QScreen* gone) {
        std::erase_if(windows, [&](const auto& w) { return w->shows() == gone; });
        settle.start();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (const auto& w : windows) {
            if (w->drawn() != phase) {
                return;
            }
        }
        if (told == phase) {
            return;
        }
        if (!paintsAtPhase.empty()) {
            for (std::size_t i = 0; i < windows.size(); ++i) {
                if (windows[i]->paints() <= paintsAtPhase[i]) {
                    return;
                }
            }
            paintsAtPhase.clear();
            if (--rounds == 0 && std::exchange(newWindows, false)) {
                rounds = 2;
                quiet.start();
            }
        }
        if (quiet.isValid() && quiet.elapsed() < kEffectsOverMs) {
            return;
        }
        if (rounds > 0) {
            for (const auto& w : windows) {
                paintsAtPhase.push_back(w->paints());
                w->update(0, 0, 1, 1);
            }
            return;
        }
        quiet.invalidate();
        told = phase;
        if (std::exchange(screensChanged, false)) {
            std::printf("screens %zu shown %d\n", windows.size(), phase);
        } else {
            std::printf("shown %d\n", phase);
        }
        std::fflush(stdout);
    });
    poll.start(50);
    auto change = [&] {
        ++phase;
        paintsAtPhase.clear();
        rounds = std::max(rounds, 1);
        for (const auto& w : windows) {
            w->Show(phase);
        }
    };
    QTimer animation;
    int step = 0;
    QObject::connect(&animation, &QTimer::timeout, [&] { windows.front()->MoveSquare(++step); });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        const ssize_t n = read(STDIN_FILENO, line, sizeof line - 1);
        if (n <= 0) {
            QApplication::quit();
            return;
        }
        line[n] = '\0';
        int hz = 0;
        if (std::string(line).rfind("change", 0) == 0) {
            change();
        } else if (std::sscanf(line, "animate %d", &hz) == 1) {
            hz > 0 ? animation.start(1000 / hz) : animation.stop();
        }
    });
    return QApplication::exec();
}
