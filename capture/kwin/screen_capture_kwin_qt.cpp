#include "capture/kwin/screen_capture_kwin_qt.h"

#include <QDBusConnection>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <new>
#include <thread>

#include "capture/kwin/kwin_grant_entry_posix.h"

namespace ruvello {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// A shot's longest wait for KWin's picture; KWin draws it with the next frame.
constexpr seconds kShotWait{15};
// How long a new entry may take to reach KWin: it reads the applications again when it next
// checks for a grant, at most every 1.5 s, or when kbuildsycoca has rebuilt its cache.
constexpr seconds kGrantSettle{10};
constexpr milliseconds kGrantRetry{300};

// KDE's own tool that rebuilds the cache of desktop entries KWin reads the grant from. KWin
// notices a new entry by itself when the applications folder existed when the cache was built;
// on a fresh account it may not have, and then only a rebuild shows it.
void RebuildDesktopEntryCache() {
    for (const char* tool : {"kbuildsycoca6", "kbuildsycoca5"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(tool));
        if (!path.isEmpty()) {
            QProcess::startDetached(path, {});  // KWin sees the result when it is done
            return;
        }
    }
}

}  // namespace

std::string KWinRefusedNotice(bool ownEntry) {
    std::string text =
        "KDE Plasma erlaubt Ruvello keine stillen Bildschirmaufnahmen. Ruvello nimmt den "
        "Bildschirm deshalb \u00fcber das Desktop-Portal auf: Plasma fragt beim ersten Mal, "
        "welche Bildschirme geteilt werden, und zeigt w\u00e4hrenddessen an, dass der "
        "Bildschirm geteilt wird.";
    if (ownEntry) {
        text +=
            "\n\nRuvello hat daf\u00fcr einen Eintrag in ~/.local/share/applications "
            "angelegt; Plasma hat ihn nicht angenommen.";
    }
    return text;
}

KWinScreenCapture::KWinScreenCapture(Options options) : options_(std::move(options)) {}

KWinScreenCapture::~KWinScreenCapture() = default;

void KWinScreenCapture::GdiPlusStart() {
    if (fallback_) {
        fallback_->GdiPlusStart();
        return;
    }
    if (options_.grantFor.empty()) {
        return;
    }
    if (WriteKWinGrantEntry(options_.grantFor) == GrantEntryWrite::kWritten) {
        RebuildDesktopEntryCache();
        grantSettlesAt_ = steady_clock::now() + kGrantSettle;
    }
}

void KWinScreenCapture::GdiPlusStop() {
    if (fallback_) {
        fallback_->GdiPlusStop();
    }
}

void KWinScreenCapture::BeforeManualShot() {
    if (fallback_) {
        fallback_->BeforeManualShot();
    }
}

bool KWinScreenCapture::CaptureScreenToPng(const std::string& path) {
    if (fallback_) {
        return fallback_->CaptureScreenToPng(path);
    }
    try {
        return Shoot(path);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool KWinScreenCapture::Shoot(const std::string& path) {
    for (;;) {
        // The program's own connection, made once the application exists.
        const KWinScreenShot::Shot shot = KWinScreenShot::CaptureWorkspace(
            QDBusConnection::sessionBus(), pixels_, steady_clock::now() + kShotWait);
        switch (shot.outcome) {
            case KWinScreenShot::Outcome::kTaken:
                return Write(shot, path);
            case KWinScreenShot::Outcome::kFailed:
                return false;
            case KWinScreenShot::Outcome::kRefused:
                break;
        }
        if (steady_clock::now() >= grantSettlesAt_) {
            return FallBack(path);
        }
        std::this_thread::sleep_for(kGrantRetry);
    }
}

bool KWinScreenCapture::Write(const KWinScreenShot::Shot& shot, const std::string& path) {
    const auto width = static_cast<std::int32_t>(shot.header.width);
    const auto height = static_cast<std::int32_t>(shot.header.height);
    if (!shot.layout.order) {
        const QImage converted = QImage(pixels_.data(), width, height, shot.header.stride,
                                        static_cast<QImage::Format>(shot.header.format))
                                     .convertToFormat(QImage::Format_RGB32);
        if (converted.isNull()) {
            return false;
        }
        return writer_.Write(PixelRows{converted.constBits(), width, height,
                                       static_cast<std::size_t>(converted.bytesPerLine())},
                             path);
    }
    // KWin's picture is the bounding rectangle of all screens already; the composer only puts
    // its bytes in the encoder's order where they are not.
    OutputPicture picture;
    picture.id = 1;  // the composer compares its rows with the last shot's
    picture.place = LayoutRect{0, 0, width, height};
    picture.data = pixels_.data();
    picture.width = width;
    picture.height = height;
    picture.stride = shot.header.stride;
    picture.order = *shot.layout.order;
    const OutputPicture pictures[] = {picture};
    const std::optional<ComposedImage> image = composer_.Compose(pictures);
    return image && writer_.Write(*image, path, image->unchanged);
}

bool KWinScreenCapture::FallBack(const std::string& path) {
    fallback_ = options_.fallback ? options_.fallback() : nullptr;
    std::vector<std::uint8_t>().swap(pixels_);
    // Said from the event loop: a message box here would hold the shot until it is closed.
    QTimer::singleShot(0, &context_, [this] {
        if (options_.tell) {
            options_.tell(KWinRefusedNotice(!options_.grantFor.empty()));
        }
    });
    if (!fallback_) {
        return false;
    }
    fallback_->GdiPlusStart();
    return fallback_->CaptureScreenToPng(path);
}

}  // namespace ruvello
