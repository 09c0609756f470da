#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QImage>
#include <QProcess>
#include <QString>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/capture_route.h"
#include "capture/kwin/kwin_grant_entry_posix.h"
#include "capture/kwin/kwin_image_qt.h"
#include "tests/linux/scoped_env.h"

namespace ruvello {
namespace {

namespace fs = std::filesystem;

KWinImageHeader Header(std::uint32_t format, std::uint32_t width, std::uint32_t height,
                       std::uint32_t stride, const char* type = "raw") {
    return KWinImageHeader{type, format, width, height, stride};
}

// What KWin's answer describes decides how many bytes the pipe brings and how they are read:
// taken from the answer, never assumed.
TEST(KWinImage, TheAnswerSaysHowManyBytesComeAndInWhichOrder) {
    // KWin 5.27 on two 800x600 outputs: premultiplied ARGB32, rows without padding.
    auto layout = KWinImageLayoutOf(Header(QImage::Format_ARGB32_Premultiplied, 1600, 600, 6400));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->bytes, 3'840'000u);
    EXPECT_EQ(layout->order, PixelOrder::kBgrx);
    // Padded rows: the stride, not the width, counts.
    layout = KWinImageLayoutOf(Header(QImage::Format_RGB32, 1366, 768, 5504));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->bytes, 5504u * 768u);
    layout = KWinImageLayoutOf(Header(QImage::Format_RGBA8888_Premultiplied, 10, 2, 40));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->order, PixelOrder::kRgbx);
    // 16 bits a channel (a desktop in HDR): Qt converts, the stride checked against 8 bytes.
    layout = KWinImageLayoutOf(Header(QImage::Format_RGBA64_Premultiplied, 100, 10, 800));
    ASSERT_TRUE(layout);
    EXPECT_FALSE(layout->order);
    EXPECT_EQ(layout->bytes, 8000u);
}

TEST(KWinImage, AnAnswerThatDoesNotDescribeRowsItCanReadIsRefused) {
    const KWinImageHeader refused[] = {
        Header(QImage::Format_ARGB32, 100, 10, 400, "png"),
        Header(QImage::Format_ARGB32, 100, 10, 400, ""),
        Header(QImage::Format_Invalid, 100, 10, 400),
        Header(QImage::NImageFormats, 100, 10, 400),
        Header(1000, 100, 10, 400),
        Header(QImage::Format_ARGB32, 0, 10, 400),
        Header(QImage::Format_ARGB32, 100, 0, 400),
        Header(QImage::Format_ARGB32, 100, 10, 399),            // rows shorter than pixels
        Header(QImage::Format_RGBA64, 100, 10, 400),            // 8 bytes a pixel
        Header(QImage::Format_ARGB32, 1u << 18, 10, 4u << 18),  // wider than any desktop
        Header(QImage::Format_ARGB32, 100000, 100000, 400000),  // 40 GB
    };
    for (const KWinImageHeader& header : refused) {
        EXPECT_FALSE(KWinImageLayoutOf(header))
            << header.type << " " << header.format << " " << header.width << "x" << header.height
            << " stride " << header.stride;
    }
}

// KWin finds the entry by the first word of Exec, split as QProcess splits a command line, with
// links resolved: the path must come back whole, also with spaces in it.
TEST(KWinGrantEntry, NamesThisCopySoThatKWinFindsItAndHidesItFromMenus) {
    for (const std::string exe :
         {"/home/anna/Ruvello/ruvello", "/home/anna/Meine Programme/ruvello",
          "/opt/ruvello-1.1 (test)/ruvello"}) {
        const std::string entry = KWinGrantEntry(exe);
        std::istringstream lines(entry);
        std::string line, exec;
        bool hidden = false, granted = false, deleted = false;
        while (std::getline(lines, line)) {
            if (line.starts_with("Exec=")) {
                exec = line.substr(5);
            }
            hidden = hidden || line == "NoDisplay=true";
            granted =
                granted || line == "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2";
            deleted = deleted || line.starts_with("Hidden=");  // an entry KWin takes as deleted
        }
        const QStringList words = QProcess::splitCommand(QString::fromStdString(exec));
        ASSERT_FALSE(words.isEmpty()) << entry;
        EXPECT_EQ(words.first().toStdString(), exe) << entry;
        EXPECT_TRUE(hidden && granted && !deleted) << entry;
        EXPECT_TRUE(entry.starts_with("[Desktop Entry]\nType=Application\n")) << entry;
    }
    EXPECT_THROW(KWinGrantEntry("/home/anna/a\nb/ruvello"), std::invalid_argument);
}

TEST(KWinGrantEntry, OneFilePerCopyInTheApplicationsFolder) {
    const std::string a =
        KWinGrantEntryPath("/home/anna/.local/share/", "/home/anna/Ruvello/ruvello");
    EXPECT_EQ(a, KWinGrantEntryPath("/home/anna/.local/share/", "/home/anna/Ruvello/ruvello"));
    EXPECT_NE(a, KWinGrantEntryPath("/home/anna/.local/share/", "/home/anna/Test/ruvello"));
    EXPECT_TRUE(a.starts_with("/home/anna/.local/share/applications/ruvello-kwin-")) << a;
    EXPECT_TRUE(a.ends_with(".desktop")) << a;
}

class KWinGrantEntryFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ruvello-grant-XXXXXX";
        root_ = mkdtemp(pattern);
    }
    void TearDown() override { fs::remove_all(root_); }
    std::string root_;
};

// KWin reads every entry again when the applications folder changes: an entry that says the
// same is left alone, one that differs is replaced, a missing folder is made for the user alone.
TEST_F(KWinGrantEntryFile, WrittenOnceAndAgainOnlyWhenItChanged) {
    ScopedEnv home("HOME", root_.c_str());
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    const std::string exe = "/opt/ruvello/ruvello";
    const std::string path = KWinGrantEntryPath(root_ + "/.local/share/", exe);
    ASSERT_EQ(WriteKWinGrantEntry(exe), GrantEntryWrite::kWritten);
    std::ifstream file(path);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), KWinGrantEntry(exe));
    EXPECT_EQ(fs::status(root_ + "/.local/share/applications").permissions(), fs::perms::owner_all);

    const auto written = fs::last_write_time(path);
    EXPECT_EQ(WriteKWinGrantEntry(exe), GrantEntryWrite::kUnchanged);
    EXPECT_EQ(fs::last_write_time(path), written);

    std::ofstream(path) << "[Desktop Entry]\nExec=/somewhere/else\n";
    EXPECT_EQ(WriteKWinGrantEntry(exe), GrantEntryWrite::kWritten);
    std::ifstream again(path);
    std::stringstream replaced;
    replaced << again.rdbuf();
    EXPECT_EQ(replaced.str(), KWinGrantEntry(exe));
}

TEST_F(KWinGrantEntryFile, FollowsXdgDataHomeAndSaysWhenItCannotWrite) {
    // A home below a plain file: no folder can be made there, not even by root.
    std::ofstream(root_ + "/file") << "x";
    const std::string home = root_ + "/file/home";
    ScopedEnv homeVariable("HOME", home.c_str());
    const std::string data = root_ + "/data";
    {
        ScopedEnv variable("XDG_DATA_HOME", data.c_str());
        EXPECT_EQ(WriteKWinGrantEntry("/opt/ruvello/ruvello"), GrantEntryWrite::kWritten);
        EXPECT_TRUE(fs::exists(KWinGrantEntryPath(data + "/", "/opt/ruvello/ruvello")));
    }
    ScopedEnv relative("XDG_DATA_HOME", "relative/data");  // ignored: $HOME/.local/share
    EXPECT_EQ(WriteKWinGrantEntry("/opt/ruvello/ruvello"), GrantEntryWrite::kFailed);
}

// KWin's own interface where KWin offers one with every screen in one picture (version 2 on);
// an older KWin or none at all: the portal, and on KWin the user is told why.
TEST(CaptureRoute, KWinsInterfaceWhereItGivesTheWholeWorkspace) {
    SessionFacts facts{true, true, false, false, 0};
    EXPECT_EQ(ChooseCaptureRoute(facts), CaptureRoute::kPortal);
    EXPECT_TRUE(RouteNotice(CaptureRoute::kPortal, facts).empty());  // GNOME
    facts.kwinScreenShot = 1;
    EXPECT_EQ(ChooseCaptureRoute(facts), CaptureRoute::kPortal);
    EXPECT_FALSE(RouteNotice(CaptureRoute::kPortal, facts).empty());
    for (std::uint32_t version : {2u, 4u, 5u}) {
        facts.kwinScreenShot = version;
        EXPECT_EQ(ChooseCaptureRoute(facts), CaptureRoute::kKWin) << version;
        EXPECT_TRUE(RouteNotice(CaptureRoute::kKWin, facts).empty());  // the silent one
    }
    facts.screenCopy = true;  // a compositor with screen copies and ScreenShot2: the copies
    EXPECT_EQ(ChooseCaptureRoute(facts), CaptureRoute::kWaylandDirect);
}

}  // namespace
}  // namespace ruvello
