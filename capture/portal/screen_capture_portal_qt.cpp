#include "capture/portal/screen_capture_portal_qt.h"

#include <unistd.h>
#include <QDBusConnection>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <new>
#include <utility>

namespace ruvello {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// An automatic shot waits this long for a session being opened: enough for a portal that
// restores the last choice without asking, too short to hold a tick for the user's choice.
constexpr seconds kRestoreWait{5};
// The portal answers every step but the chooser's at once: a step still unanswered by then is
// taken as lost, and the program asks again rather than wait for ever.
constexpr seconds kUnansweredAfter{20};
// A manual shot that asked the user again waits for the choice.
constexpr seconds kChoiceWait{120};
// Shots in a row that found a stream without a frame, although they asked for one, before the
// sharing counts as ended rather than failing silently at every interval.
constexpr int kShotsWithoutFrames = 2;

const char* const kRefusedText =
    "Die Aufnahme des Bildschirms wurde nicht erlaubt. Ruvello speichert keine Screenshots, bis "
    "Sie mit einem Linksklick auf das Symbol einen Screenshot auslösen und die Aufnahme "
    "erlauben.";
const char* const kStoppedText =
    "Die Aufnahme des Bildschirms wurde beendet. Ruvello speichert keine Screenshots, bis Sie "
    "mit einem Linksklick auf das Symbol einen Screenshot auslösen und die Aufnahme wieder "
    "erlauben.";
const char* const kNoFramesText =
    "Die Aufnahme des Bildschirms liefert keine Bilder. Ruvello speichert keine Screenshots, bis "
    "Sie mit einem Linksklick auf das Symbol einen Screenshot auslösen.";
const char* const kFailedText =
    "Das Desktop-Portal hat die Aufnahme des Bildschirms abgebrochen. Ruvello speichert keine "
    "Screenshots, bis Sie mit einem Linksklick auf das Symbol einen Screenshot auslösen.";
const char* const kMonitorsGoneText =
    "Die Bildschirme haben sich ge\u00e4ndert, und die Aufnahme des Bildschirms zeigt keinen "
    "von ihnen mehr. Ruvello speichert keine Screenshots, bis Sie mit einem Linksklick auf das "
    "Symbol einen Screenshot ausl\u00f6sen; dann fragt es die Aufnahme der jetzigen Bildschirme "
    "an.";
const char* const kMonitorAddedText =
    "Ein Bildschirm ist hinzugekommen, den die Aufnahme des Bildschirms nicht zeigt. Ruvello "
    "speichert weiter Screenshots der \u00fcbrigen Bildschirme. Ein Linksklick auf das Symbol "
    "l\u00f6st einen Screenshot aus und fragt die Aufnahme aller Bildschirme neu an.";
const char* const kUnavailableText =
    "Der Bildschirm kann nicht aufgenommen werden: Kein Desktop-Portal für Bildschirmaufnahmen "
    "(xdg-desktop-portal) antwortet. Ein Linksklick auf das Symbol versucht es erneut.";

const char* TextFor(PortalEnd why) {
    switch (why) {
        case PortalEnd::kRefused:
            return kRefusedText;
        case PortalEnd::kStopped:
            return kStoppedText;
        case PortalEnd::kUnavailable:
            return kUnavailableText;
        case PortalEnd::kNoFrames:
            return kNoFramesText;
        case PortalEnd::kMonitorsChanged:
            return kMonitorsGoneText;
        case PortalEnd::kFailed:
            break;
    }
    return kFailedText;
}

SteadyTime Now() {
    return std::chrono::steady_clock::now();
}

}  // namespace

PortalScreenCapture::PortalScreenCapture(std::function<void(const std::string&)> tell,
                                         PortalCaptureOptions options)
    : tell_(std::move(tell)), options_(std::move(options)), tokens_(options_.tokenPath) {}

PortalScreenCapture::~PortalScreenCapture() {
    EndSession();
}

void PortalScreenCapture::GdiPlusStart() {
    if (state_ == State::kClosed) {
        Ask();
    }
}

void PortalScreenCapture::GdiPlusStop() {
    if (capturing_) {
        stopAfterCapture_ = true;  // the capture waiting below us ends first
        if (wake_) {
            wake_();
        }
        return;
    }
    state_ = State::kClosed;
    EndSession();
}

void PortalScreenCapture::BeforeManualShot() {
    manualNext_ = true;
    if (state_ == State::kRunning) {
        CheckMonitors();
    }
    if (state_ == State::kDeclined || (state_ == State::kRunning && monitorsChanged_)) {
        Ask(monitorsChanged_);
    }
}

void PortalScreenCapture::Ask(bool renewing) {
    EndSession();
    state_ = State::kAsking;
    shotsWithoutFrames_ = 0;
    askedAt_ = Now();
    renewing_ = renewing;
    monitorsChanged_ = false;
    const std::string token = tokens_.Load();
    askedWithToken_ = !token.empty();
    monitorsAtChoice_ = tokens_.MonitorsAtChoice();
    portal_ = std::make_unique<PortalScreenCast>(
        QDBusConnection::sessionBus(),
        PortalScreenCast::Events{
            [this](PortalScreenCast::Started started) { OnStarted(std::move(started)); },
            [this](PortalEnd why) { OnEnded(why); }});
    portal_->Open(token);
}

void PortalScreenCapture::OnStarted(PortalScreenCast::Started started) {
    const std::vector<LayoutRect> monitors = MonitorsNow();
    if (!askedWithToken_) {
        monitorsAtChoice_ = monitors.size();  // the user chose among these
    }
    // A token serves one session: the next start needs this one.
    if (started.restoreToken.empty() || !tokens_.Save(started.restoreToken, monitorsAtChoice_)) {
        tokens_.Forget();
    }
    announced_ = std::move(started.streams);
    if (!JudgeNewSession(monitors)) {
        close(started.pipewireFd);
        return;
    }
    std::vector<std::uint32_t> nodes;
    for (const AnnouncedStream& stream : announced_) {
        nodes.push_back(stream.nodeId);
    }
    // Paused streams hold no frame between shots: two buffers each are enough for the compositor
    // to fill one while the program reads the other.
    const std::uint32_t buffers = options_.idle == IdleStreams::kPaused ? 2 : 4;
    streams_ =
        std::make_unique<PipeWireStreams>(started.pipewireFd, nodes, options_.maxFramesPerSecond,
                                          buffers, [this] { OnStreamsChanged(); });
    state_ = State::kRunning;
    if (streams_->Broken()) {
        Decline(PortalEnd::kFailed);
        return;
    }
    if (options_.idle == IdleStreams::kPaused) {
        streams_->SetActive(false);
    }
    notifier_ = std::make_unique<QSocketNotifier>(streams_->LoopFd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &context_,
                     [this] { streams_->Dispatch(); });
    streams_->Dispatch();  // sends what connecting queued
    if (wake_) {
        wake_();
    }
}

// Takes the new session's measure against the monitors; false when its remembered choice leaves
// out a monitor that came since, and the user is asked anew.
bool PortalScreenCapture::JudgeNewSession(const std::vector<LayoutRect>& monitors) {
    const std::size_t unshown = UnshownMonitors(LivePlaces(), monitors);
    if (renewing_ && askedWithToken_ && unshown > 0) {
        // A shot waiting for this session waits for the user's choice.
        tokens_.Forget();
        QTimer::singleShot(0, &context_, [this] {
            if (state_ == State::kAsking) {
                Ask();
            }
        });
        return false;
    }
    monitorsSeen_ = monitors;
    unshownAtStart_ = unshown;
    showedAMonitor_.clear();
    for (const AnnouncedStream& stream : announced_) {
        showedAMonitor_.push_back(ShowsAMonitor(stream.place, monitors));
    }
    // A choice remembered among fewer monitors than there are now shows the old ones, silently,
    // at every start: the user learns that a manual screenshot chooses anew. Monitors the user
    // left out in the chooser count among those of the choice.
    if (unshown > 0 && askedWithToken_ && monitorsAtChoice_ > 0 &&
        monitors.size() > monitorsAtChoice_) {
        monitorsChanged_ = true;
        Tell(kMonitorAddedText);
    }
    return true;
}

void PortalScreenCapture::OnEnded(PortalEnd why) {
    // The portal object stays until the next session: this runs inside its own handler.
    Decline(WhyEnded(why));
}

// Runs inside the PipeWire dispatch: the streams end later, from the event loop.
void PortalScreenCapture::OnStreamsChanged() {
    if (streams_ && streams_->Broken()) {
        QTimer::singleShot(0, &context_, [this] {
            if (streams_ && streams_->Broken()) {
                Decline(WhyEnded(PortalEnd::kStopped));
            }
        });
    }
    if (wake_) {
        wake_();
    }
}

// The monitors changed since the program last looked: a compositor that ends the session then
// ends it as when the user stops the sharing. The choice stands, for monitors that come back.
PortalEnd PortalScreenCapture::WhyEnded(PortalEnd reported) const {
    if (reported != PortalEnd::kStopped || !options_.monitors) {
        return reported;
    }
    const std::vector<LayoutRect> monitors = MonitorsNow();
    return MonitorsDiffer(monitorsSeen_, monitors) ? PortalEnd::kMonitorsChanged : reported;
}

// A monitor gone ends its stream, where the compositor keeps it open without frames; a monitor
// come that no stream shows is told once.
void PortalScreenCapture::CheckMonitors() {
    const std::vector<LayoutRect> monitors = MonitorsNow();
    if (!streams_ || monitors.empty()) {
        return;  // the compositor says nothing of its monitors
    }
    monitorsSeen_ = monitors;
    bool gone = false;
    for (std::size_t i = 0; i < streams_->Count() && i < showedAMonitor_.size(); ++i) {
        if (showedAMonitor_[i] && !streams_->Ended(i) &&
            !ShowsAMonitor(announced_[i].place, monitors)) {
            streams_->End(i);
            gone = true;
        }
    }
    if (streams_->Broken()) {
        if (gone) {
            Decline(PortalEnd::kMonitorsChanged);
        }
        return;
    }
    if (!monitorsChanged_ && UnshownMonitors(LivePlaces(), monitors) > unshownAtStart_) {
        monitorsChanged_ = true;
        Tell(kMonitorAddedText);
    }
}

// The streams that go on; before they connect, every announced one.
std::vector<std::size_t> PortalScreenCapture::LiveStreams() const {
    std::vector<std::size_t> live;
    for (std::size_t i = 0; i < announced_.size(); ++i) {
        if (!streams_ || i >= streams_->Count() || !streams_->Ended(i)) {
            live.push_back(i);
        }
    }
    return live;
}

std::vector<std::optional<LayoutRect>> PortalScreenCapture::LivePlaces() const {
    std::vector<std::optional<LayoutRect>> places;
    for (std::size_t i : LiveStreams()) {
        places.push_back(announced_[i].place);
    }
    return places;
}

std::vector<LayoutRect> PortalScreenCapture::MonitorsNow() const {
    return options_.monitors ? options_.monitors() : std::vector<LayoutRect>();
}

void PortalScreenCapture::Decline(PortalEnd why) {
    if (state_ != State::kAsking && state_ != State::kRunning) {
        return;  // the portal and the streams both report one end
    }
    state_ = State::kDeclined;
    notifier_.reset();
    streams_.reset();
    if (portal_) {
        portal_.release()->deleteLater();  // closes the session, once out of its handlers
    }
    // A refused or stopped session spent the token: the next request asks the user. A portal
    // that did not answer has not seen it, a silent stream says nothing about the choice, and
    // monitors that changed leave it to the portal whether it can restore it.
    monitorsChanged_ = why == PortalEnd::kMonitorsChanged;
    if (why != PortalEnd::kUnavailable && why != PortalEnd::kNoFrames && !monitorsChanged_) {
        tokens_.Forget();
    }
    Tell(TextFor(why));
    if (wake_) {
        wake_();
    }
}

void PortalScreenCapture::EndSession() {
    notifier_.reset();
    streams_.reset();
    portal_.reset();
    announced_.clear();
    showedAMonitor_.clear();
}

bool PortalScreenCapture::CaptureScreenToPng(const std::string& path) {
    const bool manual = std::exchange(manualNext_, false);
    if (capturing_) {
        return false;  // a tick or a click while a capture waits
    }
    capturing_ = true;
    bool written = false;
    try {
        written = Shoot(path, manual);
    } catch (const std::bad_alloc&) {
        // Out of memory between resuming the streams and pausing them: paused again, or the
        // compositor would go on sending frames until the next shot.
        if (options_.idle == IdleStreams::kPaused && streams_) {
            streams_->SetActive(false);
        }
    }
    if (options_.idle == IdleStreams::kPaused && streams_) {
        streams_->HandBackFrames();  // the next shot waits for new ones anyway
    }
    if (streams_) {
        // The compositor's memory keeps the frames: the program's pages of them would cost 8 MB
        // a monitor between shots, mapping them again about a millisecond at the next one.
        streams_->LetGoOfFramePages();
    }
    capturing_ = false;
    if (std::exchange(stopAfterCapture_, false)) {
        GdiPlusStop();
    }
    DeliverMessage();
    return written;
}

bool PortalScreenCapture::Shoot(const std::string& path, bool manual) {
    if (!AwaitSession(manual)) {
        return false;
    }
    CheckMonitors();
    if (state_ != State::kRunning || streams_->Broken()) {
        return false;
    }
    const Frames frames = AwaitFrames();
    std::vector<OutputPicture> pictures;
    if (frames == Frames::kReady) {
        pictures = Pictures();
    }
    if (options_.idle == IdleStreams::kPaused && streams_) {
        streams_->SetActive(false);  // the held frames stay readable
    }
    switch (frames) {
        case Frames::kGone:
            return false;
        case Frames::kMissing:
            if (++shotsWithoutFrames_ >= kShotsWithoutFrames) {
                Decline(PortalEnd::kNoFrames);
            }
            return false;
        case Frames::kReady:
            shotsWithoutFrames_ = 0;
            break;
    }
    if (pictures.empty()) {
        return false;
    }
    const std::optional<ComposedImage> image = composer_.Compose(pictures);
    return image && writer_.Write(*image, path, image->unchanged);
}

bool PortalScreenCapture::AwaitSession(bool manual) {
    const auto waiting = portal_ ? portal_->WaitingSince() : std::nullopt;
    if (state_ == State::kAsking && waiting && Now() >= *waiting + kUnansweredAfter) {
        Ask(renewing_);
    }
    // From the last question: a remembered choice that misses a monitor is asked again.
    auto limit = [&] { return askedAt_ + (manual ? kChoiceWait : kRestoreWait); };
    while (state_ == State::kAsking && !stopAfterCapture_ && Now() < limit()) {
        WaitForChange(limit());
    }
    return state_ == State::kRunning && !stopAfterCapture_;
}

PortalScreenCapture::Frames PortalScreenCapture::AwaitFrames() {
    FrameWaitRules rules;
    rules.settle = milliseconds(150 + 1000 / std::max(options_.maxFramesPerSecond, 1u));
    rules.onlyNewFrames = options_.idle == IdleStreams::kPaused;
    const SteadyTime asked = Now();
    if (rules.onlyNewFrames) {
        streams_->SetActive(true);
    }
    const std::vector<std::size_t> live = LiveStreams();
    std::vector<StreamWait> waits(live.size(), StreamWait{std::nullopt, asked});
    for (;;) {
        if (state_ != State::kRunning || !streams_ || streams_->Broken() || stopAfterCapture_ ||
            LiveStreams() != live) {
            return Frames::kGone;  // the session ended, lost a monitor or was replaced meanwhile
        }
        for (std::size_t i = 0; i < waits.size(); ++i) {
            const auto frame = streams_->Newest(live[i]);
            waits[i].newest = frame ? std::optional(frame->taken) : std::nullopt;
        }
        const FrameDecision decision = DecideFrames(waits, asked, Now(), rules);
        for (std::size_t i : decision.askAgain) {
            streams_->AskForFrame(live[i]);
            waits[i].requested = Now();
        }
        if (decision.takeNow) {
            const bool missing = std::any_of(waits.begin(), waits.end(), [&](const StreamWait& w) {
                return MissesFrame(w, asked, rules);
            });
            return missing ? Frames::kMissing : Frames::kReady;
        }
        WaitForChange(decision.wakeAt);
    }
}

// The pictures of the monitors whose streams go on, at their places.
std::vector<OutputPicture> PortalScreenCapture::Pictures() const {
    std::vector<StreamFrame> frames;
    std::vector<FrameSize> sizes;
    std::vector<AnnouncedStream> streams;
    const std::vector<std::size_t> live = LiveStreams();
    for (std::size_t i : live) {
        const auto frame = streams_->Newest(i);
        if (!frame) {
            return {};
        }
        frames.push_back(*frame);
        sizes.push_back({frame->width, frame->height});
        streams.push_back(announced_[i]);
    }
    const std::vector<LayoutRect> places = PlaceStreams(streams, sizes);
    std::vector<OutputPicture> pictures;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        OutputPicture picture;
        picture.id = static_cast<std::uint32_t>(live[i]) + 1;  // the composer compares its rows
        picture.place = places[i];
        picture.data = frames[i].data;
        picture.width = frames[i].width;
        picture.height = frames[i].height;
        picture.stride = frames[i].stride;
        picture.order = frames[i].order;
        pictures.push_back(picture);
    }
    return pictures;
}

// Runs the event loop until something changed (an answer, a frame, an end) or `deadline`.
void PortalScreenCapture::WaitForChange(SteadyTime deadline) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Now());
    timer.start(static_cast<int>(std::clamp<milliseconds::rep>(left.count() + 1, 0, 3'600'000)));
    wake_ = [&loop] { loop.quit(); };
    loop.exec();
    wake_ = nullptr;
}

// Said from the event loop, never while a capture waits: a message box there would hold the
// capture until it is closed.
void PortalScreenCapture::Tell(const std::string& text) {
    pendingMessage_ = text;
    if (!capturing_) {
        DeliverMessage();
    }
}

void PortalScreenCapture::DeliverMessage() {
    if (pendingMessage_.empty()) {
        return;
    }
    QTimer::singleShot(0, &context_, [this] {
        if (capturing_ || pendingMessage_.empty()) {
            return;  // the capture's end delivers it
        }
        const std::string text = std::exchange(pendingMessage_, {});
        if (tell_) {
            tell_(text);
        }
    });
}

}  // namespace ruvello
