#include "capture/RecordingManager.h"

#include "capture/CaptureSetup.h"
#include "capture/PropertyChange.h"
#include "capture/RecorderSettings.h"
#include "export/ClipSelection.h"
#include "platform/NotificationMuter.h"
#include "platform/WindowServer.h"

#include <algorithm>

namespace backreel {

namespace {
// The status line's note for audio that is lost: "no system audio: " (or "no microphone: ") and
// the reason as plain words in the sentence, without its full stop.
QString audioLossNote(AudioOrigin origin, const Error& error) {
    QString reason = error.description.trimmed();
    if (reason.endsWith(QLatin1Char('.'))) {
        reason.chop(1);
    }
    // "The server went away" reads on in lower case; a name such as "PulseAudio" keeps its case.
    const QString firstWord = reason.section(QLatin1Char(' '), 0, 0);
    if (!firstWord.isEmpty() &&
        std::none_of(firstWord.begin() + 1, firstWord.end(), [](QChar letter) { return letter.isUpper(); })) {
        reason[0] = reason[0].toLower();
    }
    return (origin == AudioOrigin::microphone ? QStringLiteral("no microphone: ")
                                              : QStringLiteral("no system audio: ")) +
           reason;
}
} // namespace

RecordingManager::RecordingManager(Platform platform, std::shared_ptr<SaveFlow> saveFlow,
                                   std::shared_ptr<const RecorderSettings> settings, QObject* parent)
    : QObject(parent)
    , platform_(std::move(platform))
    , settings_(std::move(settings))
    , saver_(std::move(saveFlow), settings_, recLog_) {
    memoryCheck_.setInterval(1000);
    connect(&memoryCheck_, &QTimer::timeout, this, &RecordingManager::updateMemoryNote);
    connect(&saver_, &ClipSaver::clipSaved, this, &RecordingManager::clipSaved);
    connect(&saver_, &ClipSaver::saveFailed, this, &RecordingManager::saveFailed);
    connect(&saver_, &ClipSaver::unsavedClipChanged, this, &RecordingManager::unsavedClipChanged);
    connect(&saver_, &ClipSaver::clipSavesChanged, this, &RecordingManager::clipSavesChanged);
}

RecordingManager::~RecordingManager() = default;

// Published properties

void RecordingManager::setStatus(const RecordingStatus& status) {
    changeProperty(*this, status_, status, &RecordingManager::statusChanged);
}

void RecordingManager::setIncludeBackreelWindow(bool include) {
    changeProperty(*this, includeBackreelWindow_, include, &RecordingManager::includeBackreelWindowChanged);
}

void RecordingManager::setBufferDuration(RecordingDuration duration) {
    changeProperty(*this, bufferDuration_, duration, &RecordingManager::bufferDurationChanged);
}

void RecordingManager::setCaptureTarget(const CaptureTarget& target) {
    captureTarget_ = target;
    emit captureTargetChanged();
    if (target.asWindow() == nullptr) {
        setSelectedWindowInfo(std::nullopt);
    }
}

void RecordingManager::setAvailableDisplays(const std::vector<Display>& displays) {
    changeProperty(*this, availableDisplays_, displays, &RecordingManager::availableDisplaysChanged);
}

void RecordingManager::setSelectedWindowInfo(const std::optional<WindowPickInfo>& info) {
    selectedWindowInfo_ = info;
    emit selectedWindowInfoChanged();
}

// Operations

QCoro::Task<Expected<ShareableContent, CaptureError>> RecordingManager::shareableContent() {
    co_return co_await platform_.capture->shareableContent();
}

QCoro::Task<Expected<ShareableContent, CaptureError>> RecordingManager::chosenContent(ContentKind kind,
                                                                                     std::optional<int> frameRate) {
    co_return co_await platform_.capture->chooseContent(kind, frameRate.value_or(settings_->frameRate()));
}

QCoro::Task<> RecordingManager::startRecording() {
    if (status_.is(RecordingStatus::Kind::buffering) || startInProgress_) {
        co_return;
    }
    startInProgress_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{startInProgress_};

    recLog_.info(QStringLiteral("[Start] target=%1s bufferCapacity=%2s")
                     .arg(fixed(bufferDuration_.seconds(), 0))
                     .arg(fixed(bufferDuration_.bufferCapacity(), 1)));

    // Where the desktop's dialog chooses, what the user chose there is the content.
    const bool chosenInDialog = platform_.capture->choosesContentInDialog();
    if (const auto* window = captureTarget_.asWindow();
        window != nullptr && !chosenInDialog && window->filter.windowContent()->window.windowID == 0) {
        // Window chosen but none picked: recording the whole screen instead would surprise.
        recLog_.info(QStringLiteral("[Start] No window is picked"));
        setStatus(RecordingStatus::error(kPickAWindowMessage));
        co_return;
    }
    // Read once: the settings may change while the desktop's dialog is open.
    const int frameRate = settings_->frameRate();
    QCoro::Task<Expected<ShareableContent, CaptureError>> asking =
        chosenInDialog ? chosenContent(contentKindOf(captureTarget_), frameRate) : shareableContent();
    const Expected<ShareableContent, CaptureError> content = co_await asking;
    if (!content && content.error().kind == CaptureError::Kind::cancelled) {
        recLog_.info(QStringLiteral("[Start] The user cancelled the desktop's dialog"));
        setStatus(RecordingStatus::idle());
        co_return;
    }
    if (!content) {
        // The service's own words name the display and the cause ("Cannot connect to the X
        // display :1: …").
        const QString& reason = content.error().message;
        recLog_.error(QStringLiteral("[Start] Nothing to capture: %1").arg(reason));
        setStatus(RecordingStatus::error(reason.isEmpty() ? kContentUnavailableMessage : reason));
        co_return;
    }

    const CaptureTarget target =
        chosenInDialog ? targetInChosenContent(captureTarget_, content.value()) : captureTarget_;
    const std::optional<ResolvedCapture> capture = resolveCapture(
        target, includeBackreelWindow_, content.value(), platform_.windowServer->mainDisplayID());
    if (!capture) {
        setStatus(RecordingStatus::error(QStringLiteral("No display found.")));
        co_return;
    }
    recLog_.info(QStringLiteral("[Start] captureSize=%1×%2").arg(capture->width).arg(capture->height));
    // A recording keeps the limit it started with, less what the unsaved clips take.
    saver_.dropUnsavedClips(QStringLiteral("a new recording started"), true);
    const MemoryLimit limit(
        std::max<std::int64_t>(settings_->memoryLimit().bytes() - saver_.unsavedClips().bytes(), 0));
    const RecordingSetup setup{*capture,
                               bufferDuration_.bufferCapacity(),
                               limit,
                               settings_->codec(),
                               systemSoundInput(*settings_),
                               microphoneInput(*settings_),
                               frameRate};
    Expected<std::unique_ptr<RecordingSession>> started =
        co_await RecordingSession::start(platform_, setup, recLog_);
    if (!started) {
        failStart(started.error());
        co_return;
    }
    session_ = std::move(started).value();
    connect(session_.get(), &RecordingSession::ended, this, &RecordingManager::sessionEnded);
    connect(session_.get(), &RecordingSession::audioChanged, this, &RecordingManager::sessionAudioChanged);
    // A loss told during the start came before anyone listened.
    const std::optional<Error>& audioLoss = session_->audioLoss(AudioOrigin::system);
    const std::optional<Error>& microphoneLoss = session_->audioLoss(AudioOrigin::microphone);
    audioNote_ = audioLoss ? audioLossNote(AudioOrigin::system, *audioLoss) : QString();
    microphoneNote_ = microphoneLoss ? audioLossNote(AudioOrigin::microphone, *microphoneLoss) : QString();
    memoryNote_.clear();
    targetNote_.clear();

    recLog_.info(QStringLiteral("[Start] Capture started OK"));
    if (settings_->muteNotifications()) {
        platform_.notifications->postMute();
        notificationsMuted_ = true;
    }
    setStatus(bufferingStatus());
    memoryCheck_.start();
}

void RecordingManager::updateMemoryNote() {
    if (!status_.is(RecordingStatus::Kind::buffering) || !session_) {
        memoryCheck_.stop();
        return;
    }
    if (session_->stores().limitReached()) {
        setBufferingNote(BufferingNote::memory, memoryLimitNote(session_->videoStore().spanSeconds()));
    }
}

void RecordingManager::setBufferingNote(BufferingNote which, const QString& text) {
    (which == BufferingNote::audio        ? audioNote_
     : which == BufferingNote::microphone ? microphoneNote_
     : which == BufferingNote::memory     ? memoryNote_
                                          : targetNote_) = text;
    if (status_.is(RecordingStatus::Kind::buffering)) {
        setStatus(bufferingStatus());
    }
}

RecordingStatus RecordingManager::bufferingStatus() const {
    QStringList notes;
    for (const QString* note : {&targetNote_, &audioNote_, &microphoneNote_, &memoryNote_}) {
        if (!note->isEmpty()) {
            notes.push_back(*note);
        }
    }
    return RecordingStatus::buffering(notes.join(QStringLiteral("; ")));
}

void RecordingManager::failStart(const Error& error) {
    recLog_.error(QStringLiteral("[Start] Capture failed: %1").arg(error.description));
    setStatus(RecordingStatus::error(error.description));
}

void RecordingManager::liftMute(MuteLift when) {
    if (notificationsMuted_ || (when == MuteLift::whenOptionIsOn && settings_->muteNotifications())) {
        platform_.notifications->postUnmute();
    }
    notificationsMuted_ = false;
}

QCoro::Task<> RecordingManager::stopAndSave() {
    if (!status_.is(RecordingStatus::Kind::buffering)) {
        co_return;
    }
    setStatus(RecordingStatus::saving());
    recLog_.info(QStringLiteral("[Stop] User triggered stop"));
    liftMute(MuteLift::whenOptionIsOn);

    QCoro::Task<ClipSelection> ending = endRecording();
    ClipSelection selection = co_await ending;
    if (const QString* message = std::get_if<QString>(&selection)) {
        setStatus(RecordingStatus::error(*message));
        co_return;
    }
    QCoro::Task<RecordingStatus> saving = saver_.save(std::get<Clip>(std::move(selection)));
    setStatus(co_await saving);
}

QCoro::Task<ClipSelection> RecordingManager::endRecording() {
    std::unique_ptr<RecordingSession> session = std::move(session_);
    BufferedMedia media;
    std::vector<Marker> markers;
    if (session) {
        markers = session->markers();
        QCoro::Task<BufferedMedia> stopping = session->stop();
        media = co_await stopping;
        session.reset();
    }
    co_return cutClip(media, bufferDuration_.seconds(), markers);
}

QCoro::Task<> RecordingManager::saveClip(std::optional<std::chrono::seconds> length) {
    if (!status_.is(RecordingStatus::Kind::buffering) || !session_) {
        recLog_.info(QStringLiteral("[SaveClip] Not buffering: there is nothing to save"));
        co_return;
    }
    const double seconds = clipLengthSeconds(length, bufferDuration_);
    const bool fresh = settings_->freshBufferAfterSave();
    // Cut now, at the user's word: the clip is what had just happened, however long the queue.
    BufferedMedia media = session_->cut(fresh ? StoresAfterCut::empty : StoresAfterCut::keep);
    recLog_.info(
        QStringLiteral("[SaveClip] Cutting the last %1s%2")
            .arg(fixed(seconds, 0), fresh ? QStringLiteral("; the buffer starts afresh") : QString()));
    ClipSelection selection = cutClip(media, seconds, session_->markers());
    media = {};
    if (const QString* message = std::get_if<QString>(&selection)) {
        saver_.nothingToSave(*message);
        co_return;
    }
    Clip clip = std::get<Clip>(std::move(selection));
    // Its bytes count against the memory limit until it is written.
    std::shared_ptr<void> held = session_->holdClip(clip.video, clip.audio);
    QCoro::Task<> saving = saver_.saveInTurn(std::move(clip), std::move(held));
    co_await saving;
}

QCoro::Task<> RecordingManager::saveAgain(std::optional<int> id) {
    id = saver_.unsavedClips().idOrNewest(id);
    const UnsavedClips::Entry* kept = id ? saver_.unsavedClips().find(*id) : nullptr;
    if (kept == nullptr || status_.is(RecordingStatus::Kind::buffering) ||
        status_.is(RecordingStatus::Kind::saving) || startInProgress_) {
        co_return;
    }
    const RecordingStatus shownBefore = status_;
    setStatus(RecordingStatus::saving());
    recLog_.info(QStringLiteral("[Save] Saving the unsaved clip again"));
    QCoro::Task<RecordingStatus> saving = saver_.save(kept->clip, id);
    const RecordingStatus outcome = co_await saving;
    // A cancel leaves the clip kept, and the status that offered it.
    setStatus(outcome.is(RecordingStatus::Kind::idle) ? shownBefore : outcome);
}

void RecordingManager::discardUnsavedClip(std::optional<int> id) {
    if ((id = saver_.unsavedClips().idOrNewest(id))) {
        saver_.dropUnsavedClip(*id, QStringLiteral("the user discarded it"));
    }
}

void RecordingManager::discardUnsavedClips() {
    saver_.dropUnsavedClips(QStringLiteral("the user let them go"));
}

QCoro::Task<> RecordingManager::refreshDisplays() {
    const Expected<ShareableContent, CaptureError> content = co_await shareableContent();
    if (!content) {
        co_return;
    }
    setAvailableDisplays(content.value().displays);
    const auto* displayTarget = captureTarget_.asDisplay();
    if (displayTarget != nullptr && !displayTarget->display) {
        if (std::optional<Display> main =
                mainDisplayOf(content.value().displays, platform_.windowServer->mainDisplayID())) {
            setCaptureTarget(CaptureTarget::display(*main));
        }
    }
}

void RecordingManager::sessionEnded(const QString& reason) {
    if (!status_.is(RecordingStatus::Kind::buffering) || !session_) {
        return;
    }
    setStatus(RecordingStatus::error(reason));
    // Buffering is over: lift our mute now rather than leave notifications off.
    liftMute(MuteLift::whenInForce);
    // Runs on by itself; the status already tells the user what happened.
    keepWhatWasBuffered();
}

QCoro::Task<> RecordingManager::keepWhatWasBuffered() {
    QCoro::Task<ClipSelection> ending = endRecording();
    ClipSelection selection = co_await ending;
    if (const QString* message = std::get_if<QString>(&selection)) {
        recLog_.info(QStringLiteral("[Stop] Nothing to offer from the ended recording: %1").arg(*message));
        co_return;
    }
    saver_.keepUnsavedClip(std::get<Clip>(std::move(selection)), UnsavedClipOffer::saveWhatWasBuffered);
}

ClipSelection RecordingManager::cutClip(const BufferedMedia& media, double seconds,
                                        const std::vector<Marker>& markers) const {
    ClipSelection selection = selectClip(media.video, media.audio, seconds, recLog_);
    if (Clip* clip = std::get_if<Clip>(&selection)) {
        clip->microphone = settings_->microphoneTrack();
        clip->markers = markersWithin(markers, *clip);
    }
    return selection;
}

void RecordingManager::sessionAudioChanged(AudioOrigin origin, const std::optional<Error>& lost) {
    setBufferingNote(origin == AudioOrigin::microphone ? BufferingNote::microphone : BufferingNote::audio,
                     lost ? audioLossNote(origin, *lost) : QString());
}

} // namespace backreel
