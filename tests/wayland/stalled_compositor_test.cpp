// A compositor that stops reading its socket: every wait of the program ends at its deadline,
// the wait for room to send included.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <wayland-client.h>

#include <QTimer>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "capture/wayland/screen_capture_wayland.h"
#include "flash/flash_window_wayland.h"
#include "tests/linux/qt_application.h"
#include "tests/wayland/wayland_client_rig.h"
#include "tray/layer_menu/layer_shell_menu_wayland.h"

namespace ruvello::wltest {
namespace {

const OutputSpec kOutput{"ONLY", 0, 0, 320, 200, 0x808080};

// Fills the socket while the compositor reads nothing, until a flush finds no room.
void FillSocket(WaylandConnection& connection) {
    wl_display* display = connection.Display();
    const int small = 4096;
    setsockopt(wl_display_get_fd(display), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    for (int i = 0; i < 100000; ++i) {
        wl_callback_destroy(wl_display_sync(display));
        if (wl_display_flush(display) < 0) {
            ASSERT_EQ(errno, EAGAIN);
            return;
        }
    }
    FAIL() << "the socket never filled";
}

// A wait without a deadline would hang the test for good: the compositor reads again after a
// long while, and such a wait shows as a slow, failed test instead.
class ResumeLater {
  public:
    ResumeLater(TestCompositor& compositor, std::chrono::seconds after)
        : thread_([this, &compositor, after] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, after, [this] { return finished_; })) {
                  lock.unlock();
                  compositor.Resume();
              }
          }) {}
    ~ResumeLater() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

template <class Step>
double SecondsOf(Step step) {
    const auto start = std::chrono::steady_clock::now();
    step();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The compositor stops reading once the program is set up; the socket is full. Each step's own
// deadlines are a few seconds at most: the limit of 20 s leaves room for a loaded machine and a
// sanitized build, and stays far below the compositor's return after 60 s.
class StalledCompositor : public ::testing::Test {
  protected:
    void SetUp() override {
        capture_.GdiPlusStart();
        compositor_.Stall();
        FillSocket(*client_.connection);
        resume_ = std::make_unique<ResumeLater>(compositor_, std::chrono::seconds(60));
    }
    void TearDown() override {
        resume_.reset();
        compositor_.Resume();
        capture_.GdiPlusStop();
    }

    OffscreenApplication application_;
    TestCompositor compositor_{{kOutput}, {.copy = CopyProtocol::kWlrScreencopy, .pointer = true}};
    WaylandClient client_{compositor_};
    WaylandScreenCapture capture_{*client_.connection, *client_.layout};
    WaylandFlashWindow flash_{*client_.connection, *client_.layout};
    MenuTree tree_;
    LayerShellMenu menu_{*client_.connection, *client_.layout, tree_};
    std::unique_ptr<ResumeLater> resume_;
};

TEST_F(StalledCompositor, ARoundtripEndsAtItsDeadline) {
    bool answered = true;
    EXPECT_LT(SecondsOf([&] { answered = client_.connection->Roundtrip(500); }), 20);
    EXPECT_FALSE(answered);
}

TEST_F(StalledCompositor, AShotFailsAtItsDeadline) {
    bool written = true;
    EXPECT_LT(SecondsOf([&] { written = capture_.CaptureScreenToPng("/nonexistent/x.png"); }), 20);
    EXPECT_FALSE(written);
}

TEST_F(StalledCompositor, TheFlashEndsAtItsDeadlines) {
    EXPECT_LT(SecondsOf([&] {
                  flash_.Load();
                  flash_.Show();
                  flash_.Unload();
              }),
              20);
}

TEST_F(StalledCompositor, TheMenuOpensAndClosesAtItsDeadlines) {
    QTimer::singleShot(0, [this] { menu_.Dismiss(); });
    EXPECT_LT(SecondsOf([&] { menu_.Popup(); }), 20);
}

}  // namespace
}  // namespace ruvello::wltest
