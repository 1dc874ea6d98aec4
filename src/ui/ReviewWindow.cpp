#include "ui/ReviewWindow.h"

#include "capture/RecordingManager.h"
#include "ui/ReviewPictures.h"
#include "ui/ReviewTimeline.h"
#include "ui/TextStyle.h"

#include <algorithm>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace backreel {

namespace {
// Columns of the waveform, drawn to the timeline's width.
constexpr int kWaveColumns = 1200;
// How often the playhead moves while playing: finer than any frame rate we record at.
constexpr int kPlayTickMs = 8;

QPushButton* button(const QString& title, const QString& name, QWidget* parent) {
    auto* made = new QPushButton(title, parent);
    made->setObjectName(name);
    // The window takes every key: a focused button would take Space and Enter for itself.
    made->setFocusPolicy(Qt::NoFocus);
    return made;
}

std::vector<AudioPacket> systemSound(const std::vector<AudioPacket>& audio) {
    std::vector<AudioPacket> system;
    std::copy_if(audio.begin(), audio.end(), std::back_inserter(system),
                 [](const AudioPacket& packet) { return packet.origin == AudioOrigin::system; });
    return system;
}
} // namespace

ReviewWindow::ReviewWindow(ReviewSnapshot snapshot, RecordingManager& manager,
                           std::shared_ptr<PictureDecoderService> decoders, std::shared_ptr<SoundPlayerService> sound,
                           QWidget* parent)
    : QWidget(parent, Qt::Window)
    , snapshot_(std::move(snapshot))
    , manager_(manager)
    , sound_(sound ? sound->create() : nullptr)
    , pictures_(new ReviewPictures(snapshot_.video, std::move(decoders), this))
    , selection_(wholeSelection(snapshot_.video)) {
    setObjectName(QStringLiteral("reviewWindow"));
    setWindowTitle(QStringLiteral("Review — Backreel"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("reviewPicture"));
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setMinimumSize(480, 270);
    picture_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    picture_->setStyleSheet(QStringLiteral("background: black; color: #bbb;"));
    layout->addWidget(picture_, 1);

    timeline_ = new ReviewTimeline(this);
    timeline_->setLength(snapshotLength());
    timeline_->setWaveform(waveformPeaks(snapshot_.audio, AudioOrigin::system, reviewStart(snapshot_.video),
                                         reviewEnd(snapshot_.video), kWaveColumns));
    std::vector<std::pair<double, QString>> markers;
    for (const Marker& marker : snapshot_.markers) {
        markers.emplace_back((marker.at - reviewStart(snapshot_.video)).seconds(),
                             marker.label.isEmpty() ? QStringLiteral("Marker %1").arg(markers.size() + 1)
                                                    : marker.label);
    }
    timeline_->setMarkers(std::move(markers));
    layout->addWidget(timeline_);

    auto* controls = new QHBoxLayout;
    playButton_ = button(QStringLiteral("Play"), QStringLiteral("reviewPlay"), this);
    QPushButton* inButton = button(QStringLiteral("Set In"), QStringLiteral("reviewSetIn"), this);
    QPushButton* outButton = button(QStringLiteral("Set Out"), QStringLiteral("reviewSetOut"), this);
    timeLabel_ = new QLabel(this);
    timeLabel_->setFont(textStyleFont(TextStyle::callout));
    selectionLabel_ = new QLabel(this);
    selectionLabel_->setObjectName(QStringLiteral("reviewSelection"));
    controls->addWidget(playButton_);
    controls->addWidget(timeLabel_);
    controls->addSpacing(12);
    controls->addWidget(inButton);
    controls->addWidget(outButton);
    controls->addWidget(selectionLabel_, 1);
    QPushButton* closeButton = button(QStringLiteral("Close"), QStringLiteral("reviewClose"), this);
    QPushButton* saveButton = button(QStringLiteral("Save"), QStringLiteral("reviewSave"), this);
    saveButton->setDefault(true);
    controls->addWidget(closeButton);
    controls->addWidget(saveButton);
    layout->addLayout(controls);

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("reviewProblem"));
    problem_->setWordWrap(true);
    problem_->hide();
    layout->addWidget(problem_);
    auto* keys = new QLabel(QStringLiteral("Space plays and pauses · I and O set the in and out points at the "
                                           "playhead · ← → step a picture · Enter saves · Esc closes"),
                            this);
    keys->setFont(textStyleFont(TextStyle::caption));
    keys->setEnabled(false);
    layout->addWidget(keys);

    connect(playButton_, &QPushButton::clicked, this, &ReviewWindow::togglePlaying);
    connect(inButton, &QPushButton::clicked, this, &ReviewWindow::setIn);
    connect(outButton, &QPushButton::clicked, this, &ReviewWindow::setOut);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(saveButton, &QPushButton::clicked, this, &ReviewWindow::save);
    connect(timeline_, &ReviewTimeline::positionPicked, this, [this](double seconds) {
        pause();
        setPosition(pictureAtOffset(seconds));
    });
    connect(timeline_, &ReviewTimeline::inPicked, this, [this](double seconds) {
        selection_ = withIn(snapshot_.video, selection_, pictureAtOffset(seconds));
        showSelection();
    });
    connect(timeline_, &ReviewTimeline::outPicked, this, [this](double seconds) {
        selection_ = withOut(snapshot_.video, selection_, pictureAtOffset(seconds));
        showSelection();
    });
    connect(timeline_, &ReviewTimeline::thumbnailSlotsChanged, this, &ReviewWindow::requestThumbnails);
    connect(pictures_, &ReviewPictures::thumbnailReady, this, [this](int slot, const QImage& image) {
        timeline_->setThumbnail(slot, image);
        emit thumbnailShown(slot);
    });
    connect(pictures_, &ReviewPictures::pictureReady, this, [this](std::size_t index, const QImage& image) {
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(picture_->devicePixelRatioF());
        picture_->setPixmap(pixmap);
        emit pictureShown(index);
    });
    connect(pictures_, &ReviewPictures::failed, this, [this](const QString& message) {
        problem_->setText(message);
        problem_->show();
    });
    playTimer_.setTimerType(Qt::PreciseTimer);
    playTimer_.setInterval(kPlayTickMs);
    connect(&playTimer_, &QTimer::timeout, this, &ReviewWindow::playTick);

    resize(1100, 760);
    showSelection();
    // The newest picture first: what the user just saw.
    setPosition(snapshot_.video.empty() ? 0 : snapshot_.video.size() - 1);
}

ReviewWindow::~ReviewWindow() {
    // The sound's thread ends before the snapshot it plays from goes.
    sound_.reset();
}

MediaTime ReviewWindow::timeOf(std::size_t index) const {
    return index < snapshot_.video.size() ? snapshot_.video[index].presentationTime : reviewStart(snapshot_.video);
}

double ReviewWindow::snapshotLength() const {
    return (reviewEnd(snapshot_.video) - reviewStart(snapshot_.video)).seconds();
}

double ReviewWindow::offsetOf(std::size_t index) const {
    return (timeOf(index) - reviewStart(snapshot_.video)).seconds();
}

std::size_t ReviewWindow::pictureAtOffset(double seconds) const {
    return pictureAt(snapshot_.video,
                     reviewStart(snapshot_.video) + MediaTime::makeWithSeconds(seconds, kTimeScale));
}

void ReviewWindow::setPosition(std::size_t index) {
    position_ = std::min(index, snapshot_.video.empty() ? 0 : snapshot_.video.size() - 1);
    showPosition();
    pictures_->requestPicture(position_, picture_->contentsRect().size() * picture_->devicePixelRatioF());
}

void ReviewWindow::setIn() {
    const std::size_t asked = position_;
    selection_ = withIn(snapshot_.video, selection_, asked);
    showSelection(selection_.in == asked
                      ? QString()
                      : QStringLiteral("The clip starts on the key frame at %1, %2 s earlier: the video is "
                                       "saved as it was recorded, and a clip starts on a key frame.")
                            .arg(reviewTimeText(MediaTime::makeWithSeconds(offsetOf(selection_.in), kTimeScale)))
                            .arg(QString::number(offsetOf(asked) - offsetOf(selection_.in), 'f', 2)));
}

void ReviewWindow::setOut() {
    selection_ = withOut(snapshot_.video, selection_, position_);
    showSelection();
}

void ReviewWindow::togglePlaying() {
    if (playing()) {
        pause();
        return;
    }
    if (!snapshot_.video.empty() && position_ + 1 >= snapshot_.video.size()) {
        setPosition(selection_.in); // from the start of the selection again
    }
    playFrom_ = offsetOf(position_);
    playClock_.start();
    if (sound_) {
        sound_->play(systemSound(snapshot_.audio), timeOf(position_));
    }
    playTimer_.start();
    playButton_->setText(QStringLiteral("Pause"));
}

void ReviewWindow::pause() {
    playTimer_.stop();
    if (sound_) {
        sound_->stop();
    }
    playButton_->setText(QStringLiteral("Play"));
}

void ReviewWindow::playTick() {
    const double now = playFrom_ + static_cast<double>(playClock_.nsecsElapsed()) / 1e9;
    const std::size_t index = pictureAtOffset(now);
    if (index + 1 >= snapshot_.video.size() && now >= snapshotLength()) {
        pause();
    }
    if (index != position_) {
        setPosition(index);
    }
}

void ReviewWindow::showSelection(const QString& note) {
    const MediaTime length = selectionLength(snapshot_.video, selection_);
    const double in = offsetOf(selection_.in);
    const double out = in + length.seconds();
    timeline_->setSelection(in, out);
    const auto text = [](double seconds) { return reviewTimeText(MediaTime::makeWithSeconds(seconds, kTimeScale)); };
    selectionLabel_->setText(QStringLiteral("Selection %1 (%2 to %3)").arg(text(length.seconds()), text(in), text(out)));
    selectionLabel_->setToolTip(note);
    problem_->setVisible(!note.isEmpty());
    problem_->setText(note);
}

void ReviewWindow::showPosition() {
    const double length = snapshotLength();
    timeLabel_->setText(QStringLiteral("%1 / %2").arg(
        reviewTimeText(MediaTime::makeWithSeconds(offsetOf(position_), kTimeScale)),
        reviewTimeText(MediaTime::makeWithSeconds(length, kTimeScale))));
    timeline_->setPosition(offsetOf(position_));
}

void ReviewWindow::requestThumbnails() {
    pictures_->requestThumbnails(thumbnailPictures(snapshot_.video, timeline_->thumbnailSlots()),
                                 timeline_->thumbnailSize());
}

void ReviewWindow::save() {
    pause();
    if (snapshot_.video.empty() || selection_.in > selection_.out) {
        return; // nothing selected: the window stays, with what the user set
    }
    manager_.saveReviewed(snapshot_, timeOf(selection_.in), timeOf(selection_.out));
    close();
}

void ReviewWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
        togglePlaying();
        break;
    case Qt::Key_I:
        setIn();
        break;
    case Qt::Key_O:
        setOut();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        pause();
        setPosition(stepPicture(snapshot_.video, position_, event->key() == Qt::Key_Left ? -1 : 1));
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        save();
        break;
    case Qt::Key_Escape:
        close();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ReviewWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The picture fills what the layout gives it now, at the screen's own pixels.
    setPosition(position_);
}

void ReviewWindow::closeEvent(QCloseEvent* event) {
    pause();
    QWidget::closeEvent(event);
}

} // namespace backreel
