#include "tray/tray_host_qt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <vector>

#include "app/frm_main.h"
#include "tests/linux/qt_application.h"

namespace ruvello {
namespace {

class QtTrayHostTest : public ::testing::Test {
  protected:
    OffscreenApplication application_;
    QMenu menu_;
    std::vector<std::int32_t> events_;
    QtTrayHost host_{QIcon(), &menu_, [this](std::int32_t event) { events_.push_back(event); }};
};

// The menu Qt opened on an XEmbed tray's right click may be closed again (Escape, a choice)
// before the event loop comes round; the click must not open it a second time.
TEST_F(QtTrayHostTest, MenuQtOpenedAndClosedBeforeTheLoopRunsStaysClosed) {
    menu_.popup(QPoint(10, 10));
    host_.Activated(QSystemTrayIcon::Context);
    menu_.hide();
    QCoreApplication::processEvents();
    EXPECT_TRUE(events_.empty());
}

// A StatusNotifier host that only calls ContextMenu has the program open the menu, once the
// host's call has been answered.
TEST_F(QtTrayHostTest, ContextMenuCallWithNoMenuOpenAsksTheProgramOnceAfterTheCall) {
    host_.Activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(events_.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(events_, std::vector<std::int32_t>{kTrayRightButtonUp});
}

TEST_F(QtTrayHostTest, ClickAndEachClickOfADoubleClickAreLeftButtonReleases) {
    host_.Activated(QSystemTrayIcon::Trigger);
    host_.Activated(QSystemTrayIcon::DoubleClick);
    host_.Activated(QSystemTrayIcon::MiddleClick);
    QCoreApplication::processEvents();
    EXPECT_EQ(events_, (std::vector<std::int32_t>{kTrayLeftButtonUp, kTrayLeftButtonUp}));
}

}  // namespace
}  // namespace ruvello
