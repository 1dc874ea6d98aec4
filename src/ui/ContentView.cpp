#include "ui/ContentView.h"

#include "capture/CaptureSetup.h"
#include "capture/RecorderSettings.h"
#include "capture/RecordingManager.h"
#include "capture/VideoCompression.h"
#include "platform/CaptureService.h"
#include "core/Settings.h"
#include "platform/WindowServer.h"
#include "ui/CaptureTargetSection.h"
#include "ui/LinkButton.h"
#include "ui/MainWindowRules.h"
#include "ui/NotionBlock.h"
#include "ui/PickerRow.h"
#include "ui/ProminentButton.h"
#include "ui/RecordingStatusView.h"
#include "ui/StatusText.h"
#include "ui/SystemColors.h"
#include "ui/TextStyle.h"
#include "ui/WindowAccessor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace backreel {

namespace {
QPainterPath panelShape(const QRectF& bounds) {
    QPainterPath path;
    path.addRoundedRect(bounds, ContentView::kCornerRadius, ContentView::kCornerRadius);
    return path;
}
} // namespace

ContentView::ContentView(RecordingManager& manager, RecorderSettings& settings, Platform platform,
                         TargetPicker& targetPicker, std::unique_ptr<OneShotTimer> statusTimer,
                         QWidget* parent)
    : QWidget(parent)
    , manager_(manager)
    , settings_(settings)
    , platform_(std::move(platform))
    , alwaysOnTop_(Settings::boolValue(Settings::kAlwaysOnTopKey)) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Backreel"));

    statusView_ = new RecordingStatusView(manager_, std::move(statusTimer), this);
    statusView_->setContentsMargins(0, 0, 0, kStatusBottomPadding);
    captureSection_ = new CaptureTargetSection(manager_, platform_, targetPicker, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(kSpacing);
    // The window takes the size of its content, at the panel's fixed width.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* column = new QWidget(this);
    column->setFixedWidth(kWidth - 2 * kPadding);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(kSpacing);
    columnLayout->addWidget(statusView_);
    columnLayout->addWidget(new NotionBlock(makeRecordingCard(), column));
    columnLayout->addWidget(new NotionBlock(captureSection_, column));
    columnLayout->addWidget(new NotionBlock(makeOptionsCard(), column));
    layout->addWidget(column);

    // Frameless, transparent outside the rounded shape, moved by its background; the window
    // itself is reported once shown, and from then on follows "Always on top".
    new WindowAccessor(this, [this](QWindow* window) { setAppWindow(window); });

    connect(&manager_, &RecordingManager::statusChanged, this, &ContentView::updateForStatus);
    connect(&manager_, &RecordingManager::bufferDurationChanged, this, [this] {
        const QSignalBlocker blocker(durationPicker_);
        durationPicker_->setCurrentIndex(durationPicker_->findData(manager_.bufferDuration().wholeSeconds()));
        updateBufferEstimate();
    });
    connect(&settings_, &RecorderSettings::memoryLimitChanged, this, &ContentView::updateMemoryLimit);
    connect(&settings_, &RecorderSettings::frameRateChanged, this, &ContentView::updateBufferEstimate);
    connect(&settings_, &RecorderSettings::soundChanged, this, &ContentView::updateBufferEstimate);
    connect(&manager_, &RecordingManager::captureTargetChanged, this, &ContentView::updateBufferEstimate);
    connect(&manager_, &RecordingManager::availableDisplaysChanged, this, &ContentView::updateBufferEstimate);
    connect(&manager_, &RecordingManager::captureTargetChanged, this, &ContentView::updateOptions);
    connect(&manager_, &RecordingManager::includeBackreelWindowChanged, this, &ContentView::updateOptions);
    connect(&settings_, &RecorderSettings::muteNotificationsChanged, this, &ContentView::updateOptions);
    updateForStatus();
    updateOptions();
    updateMemoryLimit();
}

ContentView::~ContentView() {
    // The window is hidden after this object is gone, in the base class, and the status line may
    // then hand the manager a last status: nothing of this class may hear of it.
    disconnect(&manager_, nullptr, this, nullptr);
}

QWidget* ContentView::makeRecordingCard() {
    auto* card = new QWidget;
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kCardSpacing);

    durationPicker_ = new QComboBox(card);
    durationPicker_->setObjectName(QStringLiteral("durationPicker"));
    for (RecordingDuration duration : RecordingDuration::allCases()) {
        durationPicker_->addItem(duration.label(), duration.wholeSeconds());
    }
    durationPicker_->setCurrentIndex(durationPicker_->findData(manager_.bufferDuration().wholeSeconds()));
    connect(durationPicker_, &QComboBox::activated, this, [this](int index) {
        if (const auto duration = RecordingDuration::fromWholeSeconds(durationPicker_->itemData(index).toInt())) {
            manager_.setBufferDuration(*duration);
        }
    });
    layout->addWidget(makePickerRow(QStringLiteral("Duration"), durationPicker_, card));

    memoryLimitPicker_ = new QComboBox(card);
    memoryLimitPicker_->setObjectName(QStringLiteral("memoryLimitPicker"));
    for (MemoryLimit limit : MemoryLimit::choices()) {
        memoryLimitPicker_->addItem(limit.label(), QVariant::fromValue<qlonglong>(limit.bytes()));
    }
    connect(memoryLimitPicker_, &QComboBox::activated, this, [this](int index) {
        settings_.setMemoryLimit(MemoryLimit(memoryLimitPicker_->itemData(index).toLongLong()));
    });
    layout->addWidget(makePickerRow(QStringLiteral("Memory limit"), memoryLimitPicker_, card));

    bufferEstimate_ = new QLabel(card);
    bufferEstimate_->setObjectName(QStringLiteral("bufferEstimate"));
    bufferEstimate_->setFont(textStyleFont(TextStyle::caption));
    bufferEstimate_->setWordWrap(true);
    // The secondary text colour (see system_colors), following the palette as it changes.
    bufferEstimate_->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(bufferEstimate_);

    mainButton_ = new ProminentButton(card);
    mainButton_->setObjectName(QStringLiteral("mainButton"));
    connect(mainButton_, &QPushButton::clicked, this, &ContentView::mainButtonClicked);
    layout->addWidget(mainButton_);

    saveClipButton_ = new QPushButton(QStringLiteral("Save Clip"), card);
    saveClipButton_->setObjectName(QStringLiteral("saveClipButton"));
    saveClipButton_->setFont(textStyleFont(TextStyle::callout));
    // Its own task; the status line counts the clips being saved.
    connect(saveClipButton_, &QPushButton::clicked, this, [this] { manager_.saveClip(); });
    layout->addWidget(saveClipButton_);

    reviewButton_ = new QPushButton(QStringLiteral("Review…"), card);
    reviewButton_->setObjectName(QStringLiteral("reviewButton"));
    reviewButton_->setFont(textStyleFont(TextStyle::callout));
    connect(reviewButton_, &QPushButton::clicked, this, &ContentView::reviewRequested);
    layout->addWidget(reviewButton_);
    return card;
}

QWidget* ContentView::makeOptionsCard() {
    auto* card = new QWidget;
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kOptionsSpacing);

    recordThisWindow_ = new QCheckBox(QStringLiteral("Record this window"), card);
    recordThisWindow_->setObjectName(QStringLiteral("recordThisWindow"));
    connect(recordThisWindow_, &QCheckBox::toggled, this,
            [this](bool checked) { manager_.setIncludeBackreelWindow(checked); });
    muteNotifications_ = new QCheckBox(QStringLiteral("Mute notifications"), card);
    muteNotifications_->setObjectName(QStringLiteral("muteNotifications"));
    connect(muteNotifications_, &QCheckBox::toggled, this,
            [this](bool checked) { settings_.setMuteNotifications(checked); });
    alwaysOnTopBox_ = new QCheckBox(QStringLiteral("Always on top"), card);
    alwaysOnTopBox_->setObjectName(QStringLiteral("alwaysOnTop"));
    alwaysOnTopBox_->setChecked(alwaysOnTop_);
    connect(alwaysOnTopBox_, &QCheckBox::toggled, this, &ContentView::setAlwaysOnTop);

    for (QCheckBox* box : {recordThisWindow_, muteNotifications_, alwaysOnTopBox_}) {
        layout->addWidget(box, 0, Qt::AlignLeading);
    }
    // The two links share a line at the foot of the card, in the caption's size.
    settingsButton_ = new LinkButton(QStringLiteral("Settings…"), card);
    settingsButton_->setObjectName(QStringLiteral("settingsButton"));
    connect(settingsButton_, &QPushButton::clicked, this, &ContentView::settingsRequested);
    keyboardShortcuts_ = new LinkButton(QStringLiteral("Keyboard Shortcuts…"), card);
    keyboardShortcuts_->setObjectName(QStringLiteral("keyboardShortcuts"));
    connect(keyboardShortcuts_, &QPushButton::clicked, this, &ContentView::keyboardShortcutsRequested);
    auto* links = new QHBoxLayout;
    links->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* link : {settingsButton_, keyboardShortcuts_}) {
        link->setFont(textStyleFont(TextStyle::caption));
        links->addWidget(link, 0, Qt::AlignLeading);
    }
    links->addStretch(1);
    layout->addLayout(links);
    return card;
}

CaptureModeSelection ContentView::captureMode() const {
    return captureSection_->captureMode();
}

void ContentView::mainButtonClicked() {
    // Each click starts its own task and returns; the manager's status tells the outcome.
    switch (mainButtonAction(manager_.status().kind())) {
    case MainButtonAction::startRecording:
        manager_.startRecording();
        break;
    case MainButtonAction::stopAndSave:
        manager_.stopAndSave();
        break;
    case MainButtonAction::none:
        break;
    }
}

void ContentView::updateForStatus() {
    const RecordingStatus::Kind status = manager_.status().kind();
    mainButton_->setText(literalMnemonicText(mainButtonTitle(status)));
    mainButton_->setEnabled(mainButtonEnabled(status));
    mainButton_->updateGeometry();
    saveClipButton_->setEnabled(saveClipEnabled(status));
    reviewButton_->setEnabled(saveClipEnabled(status));
    const bool enabled = settingsEnabled(status);
    durationPicker_->setEnabled(enabled);
    memoryLimitPicker_->setEnabled(enabled);
    recordThisWindow_->setEnabled(enabled);
    muteNotifications_->setEnabled(enabled);
}

void ContentView::updateOptions() {
    const QSignalBlocker recordBlocker(recordThisWindow_);
    const QSignalBlocker muteBlocker(muteNotifications_);
    recordThisWindow_->setChecked(manager_.includeBackreelWindow());
    recordThisWindow_->setVisible(
        showsRecordThisWindow(manager_.captureTarget(), platform_.capture->choosesContentInDialog()));
    muteNotifications_->setChecked(settings_.muteNotifications());
}

void ContentView::updateMemoryLimit() {
    const qlonglong bytes = settings_.memoryLimit().bytes();
    {
        const QSignalBlocker blocker(memoryLimitPicker_);
        // A stored limit the picker does not offer is shown as it is.
        if (memoryLimitPicker_->findData(bytes) < 0) {
            memoryLimitPicker_->addItem(settings_.memoryLimit().label(), bytes);
        }
        memoryLimitPicker_->setCurrentIndex(memoryLimitPicker_->findData(bytes));
    }
    updateBufferEstimate();
}

void ContentView::updateBufferEstimate() {
    // The bit rate the encoder would get for the target at its present size; H.264's, the higher,
    // as the codec is chosen only when the recording starts.
    ShareableContent content;
    content.displays = manager_.availableDisplays();
    const std::shared_ptr<WindowServer>& windowServer = platform_.windowServer;
    const std::optional<ResolvedCapture> capture = resolveCapture(
        manager_.captureTarget(), false, content, windowServer ? windowServer->mainDisplayID() : 0);
    const VideoEncoderSettings settings = recordingEncoderSettings(
        VideoCodec::h264, capture ? capture->width : 0, capture ? capture->height : 0, settings_.frameRate());
    bufferEstimate_->setText(bufferEstimateText(manager_.bufferDuration(), settings.averageBitRate,
                                                settings_.memoryLimit(), settings_.microphone() ? 2 : 1));
}

void ContentView::setAlwaysOnTop(bool onTop) {
    alwaysOnTop_ = onTop;
    {
        const QSignalBlocker blocker(alwaysOnTopBox_);
        alwaysOnTopBox_->setChecked(onTop);
    }
    Settings::setBoolValue(Settings::kAlwaysOnTopKey, onTop);
    applyWindowLevel();
}

void ContentView::setAppWindow(QWindow* window) {
    if (appWindow_ == window) {
        return;
    }
    appWindow_ = window;
    // A newly known window takes its level from the stored choice.
    alwaysOnTop_ = Settings::boolValue(Settings::kAlwaysOnTopKey);
    applyWindowLevel();
}

void ContentView::applyWindowLevel() {
    if (!appWindow_) {
        return;
    }
    // The native window changes its stacking in place; the widget is told without recreating it,
    // which would hide and re-map the window.
    appWindow_->setFlag(Qt::WindowStaysOnTopHint, alwaysOnTop_);
    if (appWindow_ == window()->windowHandle()) {
        window()->overrideWindowFlags(appWindow_->flags());
    }
}

void ContentView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(system_colors::windowBackground(palette()));
    painter.drawPath(panelShape(rect()));
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Without a compositor a transparent corner would show as black: the window is cut to its shape.
    if (isWindow()) {
        setMask(QRegion(panelShape(rect()).toFillPolygon().toPolygon()));
    }
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        // The Screen picker and the display target are filled as soon as the window is shown.
        manager_.refreshDisplays();
    }
}

void ContentView::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        emit closed();
    }
}

void ContentView::contextMenuEvent(QContextMenuEvent* event) {
    emit menuRequested(event->globalPos());
}

} // namespace backreel
