#include "ui/RecordingStatusView.h"

#include "capture/RecordingManager.h"
#include "ui/ActivitySpinner.h"
#include "ui/LinkButton.h"
#include "ui/MonotonicTimer.h"
#include "ui/StatusText.h"
#include "ui/SymbolView.h"
#include "ui/SystemColors.h"
#include "ui/TextStyle.h"
#include "ui/ViewTransition.h"

#include <algorithm>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace backreel {

namespace {
// The gap between a label's icon and its title.
constexpr int kLabelSpacing = 6;
constexpr int kSavingSpacing = 6;
constexpr int kSavedSpacing = 3;

QLabel* makeLabel(const QString& text, const QFont& font, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A centred row: the given widgets side by side with `spacing` between them.
QWidget* centredRow(std::initializer_list<QWidget*> items, int spacing, QWidget* parent,
                    Qt::Alignment alignment = Qt::AlignVCenter) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->addStretch(1);
    for (QWidget* item : items) {
        item->setParent(row);
        layout->addWidget(item, 0, alignment);
    }
    layout->addStretch(1);
    return row;
}

QSize symbolSize(const QFont& font) {
    const int side = QFontMetrics(font).ascent();
    return {side, side};
}
} // namespace

RecordingStatusView::RecordingStatusView(RecordingManager& manager, std::unique_ptr<OneShotTimer> timer,
                                         QWidget* parent)
    : QWidget(parent)
    , manager_(manager)
    , timer_(timer ? std::move(timer) : std::make_unique<MonotonicTimer>()) {
    setObjectName(QStringLiteral("statusView"));
    const QFont headline = textStyleFont(TextStyle::headline);
    const QFont callout = textStyleFont(TextStyle::callout);
    const QFont calloutMedium = textStyleFont(TextStyle::callout, QFont::Medium);
    const QFont caption = textStyleFont(TextStyle::caption);

    idleDot_ = new SymbolView(Symbol::dot, QSize(kDotSize, kDotSize), this);
    ready_ = makeLabel(statusTitle(RecordingStatus::idle()), headline, this);
    idlePage_ = centredRow({idleDot_, ready_}, kLabelSpacing, this);

    bufferingDot_ = new SymbolView(Symbol::dot, QSize(kDotSize, kDotSize), this);
    recording_ = makeLabel(statusTitle(RecordingStatus::buffering()), callout, this);
    bufferingPage_ = centredRow({bufferingDot_, recording_}, kLabelSpacing, this);

    spinner_ = new ActivitySpinner(this);
    saving_ = makeLabel(statusTitle(RecordingStatus::saving()), callout, this);
    savingPage_ = centredRow({spinner_, saving_}, kSavingSpacing, this);

    savedSymbol_ = new SymbolView(Symbol::checkmarkCircleFill, symbolSize(calloutMedium), this);
    saved_ = makeLabel(QStringLiteral("Saved!"), calloutMedium, this);
    fileName_ = makeLabel(QString(), caption, this);
    fileName_->setObjectName(QStringLiteral("savedFileName"));
    savedPage_ = new QWidget(this);
    auto* savedLayout = new QVBoxLayout(savedPage_);
    savedLayout->setContentsMargins(0, 0, 0, 0);
    savedLayout->setSpacing(kSavedSpacing);
    savedLayout->addWidget(centredRow({savedSymbol_, saved_}, kLabelSpacing, savedPage_));
    savedLayout->addWidget(fileName_, 0, Qt::AlignHCenter);

    errorSymbol_ = new SymbolView(Symbol::exclamationmarkTriangleFill, symbolSize(caption), this);
    message_ = makeLabel(QString(), caption, this);
    message_->setObjectName(QStringLiteral("errorMessage"));
    errorPage_ = new QWidget(this);
    auto* errorLayout = new QVBoxLayout(errorPage_);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    // The icon sits on the first line of a message that wraps.
    errorLayout->addWidget(centredRow({errorSymbol_, message_}, kLabelSpacing, errorPage_, Qt::AlignTop));

    clipSaves_ = makeLabel(QString(), caption, this);
    clipSaves_->setObjectName(QStringLiteral("clipSaves"));
    clipSaves_->setAlignment(Qt::AlignCenter);
    unsaved_ = makeLabel(QString(), caption, this);
    unsaved_->setObjectName(QStringLiteral("unsavedClips"));
    offer_ = new LinkButton(QString(), this);
    offer_->setObjectName(QStringLiteral("unsavedClipOffer"));
    offer_->setFont(caption);
    connect(offer_, &QPushButton::clicked, this, [this] { manager_.saveAgain(); });
    discard_ = new LinkButton(QStringLiteral("Discard"), this);
    discard_->setObjectName(QStringLiteral("discardUnsavedClip"));
    discard_->setFont(caption);
    connect(discard_, &QPushButton::clicked, this, [this] { manager_.discardUnsavedClip(); });
    unsavedRow_ = centredRow({unsaved_, offer_, discard_}, kLabelSpacing, this);
    // One line whatever it shows: the buttons below must not move when a save starts, its outcome
    // goes or a clip is kept, or a second click lands beside the button it aimed at.
    bottomLine_ = new QWidget(this);
    auto* bottomLayout = new QGridLayout(bottomLine_);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    // Both in one cell: one shows at a time.
    bottomLayout->addWidget(clipSaves_, 0, 0);
    bottomLayout->addWidget(unsavedRow_, 0, 0);
    bottomLine_->setFixedHeight(
        std::max(QFontMetrics(caption).lineSpacing() + 1, offer_->sizeHint().height()));
    clipSaves_->hide();
    unsavedRow_->hide();
    clipOutcomeShown_.setSingleShot(true);
    clipOutcomeShown_.setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(kReturnToReadyDelay));
    connect(&clipOutcomeShown_, &QTimer::timeout, this, &RecordingStatusView::updateClipSavesLine);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QWidget* page : {idlePage_, bufferingPage_, savingPage_, savedPage_, errorPage_}) {
        layout->addWidget(page);
        page->hide();
    }
    // The one-line pages take the same height, so that nothing below moves as the status changes
    // (an error's message may wrap onto more lines).
    int lineHeight = 0;
    for (QWidget* page : {idlePage_, bufferingPage_, savingPage_, savedPage_}) {
        lineHeight = std::max(lineHeight, page->sizeHint().height());
    }
    for (QWidget* page : {idlePage_, bufferingPage_, savingPage_, savedPage_}) {
        page->setMinimumHeight(lineHeight);
    }
    layout->addWidget(bottomLine_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    applyColors();

    shownStatus_ = manager_.status();
    shownKind_ = shownStatus_.kind();
    showStatus(false);
    updateOffer();
    connect(&manager_, &RecordingManager::statusChanged, this, &RecordingStatusView::statusChanged);
    connect(&manager_, &RecordingManager::unsavedClipChanged, this, &RecordingStatusView::updateOffer);
    connect(&manager_, &RecordingManager::statusChanged, this, &RecordingStatusView::updateOffer);
    connect(&manager_, &RecordingManager::clipSavesChanged, this, &RecordingStatusView::clipSavesChanged);
}

RecordingStatusView::~RecordingStatusView() {
    // Going away while "Saved!" is on show ends the wait at once, as closing the window does.
    disconnect(&manager_, nullptr, this, nullptr);
    if (timer_->isActive()) {
        timer_->cancel();
        returnToReady();
    }
}

QWidget* RecordingStatusView::pageFor(RecordingStatus::Kind kind) const {
    switch (kind) {
    case RecordingStatus::Kind::idle:
        return idlePage_;
    case RecordingStatus::Kind::buffering:
        return bufferingPage_;
    case RecordingStatus::Kind::saving:
        return savingPage_;
    case RecordingStatus::Kind::saved:
        return savedPage_;
    case RecordingStatus::Kind::error:
        return errorPage_;
    }
    return idlePage_;
}

QLabel* RecordingStatusView::titleLabel() const {
    switch (shownKind_) {
    case RecordingStatus::Kind::idle:
        return ready_;
    case RecordingStatus::Kind::buffering:
        return recording_;
    case RecordingStatus::Kind::saving:
        return saving_;
    case RecordingStatus::Kind::saved:
        return saved_;
    case RecordingStatus::Kind::error:
        return message_;
    }
    return ready_;
}

void RecordingStatusView::statusChanged() {
    if (manager_.status() != shownStatus_) {
        shownStatus_ = manager_.status();
        showStatus(true);
    }
    updateReturnToReady();
    updateClipSavesLine();
}

void RecordingStatusView::updateOffer() {
    const std::vector<UnsavedClipInfo> clips = manager_.unsavedClips();
    const QString line = unsavedClipsLine(clips);
    offer_->setText(clips.empty() ? QString() : unsavedClipOfferTitle(clips.back().offer));
    // Saved again only while nothing else is under way; the manager would refuse it.
    offer_->setEnabled(!manager_.status().is(RecordingStatus::Kind::buffering) &&
                       !manager_.status().is(RecordingStatus::Kind::saving));
    const int room =
        textWidth() - offer_->sizeHint().width() - discard_->sizeHint().width() - 2 * kLabelSpacing;
    unsaved_->setText(middleElidedText(line, unsaved_->font(), std::max(room, 0)));
    unsaved_->setToolTip(line);
    updateBottomLine();
}

void RecordingStatusView::updateBottomLine() {
    const bool savesLine = !clipSaves_->text().isEmpty();
    clipSaves_->setVisible(savesLine);
    unsavedRow_->setVisible(!savesLine && manager_.hasUnsavedClip());
}

void RecordingStatusView::clipSavesChanged() {
    if (manager_.clipSavesPending() == 0 && !manager_.lastClipOutcome().is(RecordingStatus::Kind::idle)) {
        clipOutcomeShown_.start();
    }
    updateClipSavesLine();
}

void RecordingStatusView::updateClipSavesLine() {
    const RecordingStatus& outcome = manager_.lastClipOutcome();
    const bool showOutcome =
        clipOutcomeShown_.isActive() && manager_.status().is(RecordingStatus::Kind::buffering);
    const QString line = clipSavesLine(manager_.clipSavesPending(), outcome, showOutcome);
    clipSaves_->setText(middleElidedText(line, clipSaves_->font(), textWidth()));
    clipSaves_->setToolTip(outcome.is(RecordingStatus::Kind::saved) ? outcome.location().toLocalFile()
                                                                    : line);
    QPalette colors = clipSaves_->palette();
    colors.setColor(QPalette::WindowText,
                    manager_.clipSavesPending() == 0 && outcome.is(RecordingStatus::Kind::error)
                        ? system_colors::red(palette())
                        : system_colors::secondaryText(palette()));
    clipSaves_->setPalette(colors);
    updateBottomLine();
}

void RecordingStatusView::showStatus(bool animated) {
    QWidget* previous = pageFor(shownKind_);
    shownKind_ = shownStatus_.kind();
    QWidget* next = pageFor(shownKind_);
    const ViewTransition transition = ViewTransition::fade(animated ? kTransitionMs : 0);
    animateRemoval(previous, transition);
    updateWidthDependentTexts();
    for (QWidget* page : {idlePage_, bufferingPage_, savingPage_, savedPage_, errorPage_}) {
        if (page != next) {
            page->hide();
        }
    }
    animateInsertion(next, transition);
}

int RecordingStatusView::textWidth() const {
    const int width = contentsRect().width();
    return width > 0 && testAttribute(Qt::WA_Resized) ? width : kDefaultWidth;
}

void RecordingStatusView::updateWidthDependentTexts() {
    const int width = textWidth();
    if (shownStatus_.is(RecordingStatus::Kind::buffering)) {
        const int available = width - bufferingDot_->width() - kLabelSpacing;
        recording_->setText(
            wrappedText(statusTitle(shownStatus_), recording_->font(), available, kErrorLines));
        recording_->setToolTip(shownStatus_.note());
    }
    if (shownStatus_.is(RecordingStatus::Kind::error)) {
        const int available = width - errorSymbol_->width() - kLabelSpacing;
        message_->setText(wrappedText(statusTitle(shownStatus_), message_->font(), available, kErrorLines));
        message_->setToolTip(shownStatus_.message());
    }
    if (shownStatus_.is(RecordingStatus::Kind::saved)) {
        fileName_->setText(
            middleElidedText(savedFileName(shownStatus_.location()), fileName_->font(), width));
        fileName_->setToolTip(shownStatus_.location().toLocalFile());
    }
}

void RecordingStatusView::applyColors() {
    const QPalette colors = palette();
    idleDot_->setColor(system_colors::green(colors));
    bufferingDot_->setColor(system_colors::red(colors));
    savedSymbol_->setColor(system_colors::green(colors));
    errorSymbol_->setColor(system_colors::red(colors));
    const auto paint = [](QLabel* label, const QColor& color) {
        QPalette labelColors = label->palette();
        labelColors.setColor(QPalette::WindowText, color);
        label->setPalette(labelColors);
    };
    paint(ready_, system_colors::primaryText(colors));
    paint(recording_, system_colors::primaryText(colors));
    paint(saving_, system_colors::secondaryText(colors));
    paint(saved_, system_colors::green(colors));
    paint(fileName_, system_colors::secondaryText(colors));
    paint(message_, system_colors::red(colors));
}

void RecordingStatusView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void RecordingStatusView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateWidthDependentTexts();
}

void RecordingStatusView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateReturnToReady();
}

void RecordingStatusView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A minimised window still shows the line; only a real hide (the window closing) ends the wait.
    if (event->spontaneous() || !timer_->isActive()) {
        return;
    }
    timer_->cancel();
    returnToReady();
}

void RecordingStatusView::updateReturnToReady() {
    const RecordingStatus& status = manager_.status();
    if (!status.is(RecordingStatus::Kind::saved) || !isVisible()) {
        // The status moved on (e.g. a new recording started): the wait ends without a change.
        timer_->cancel();
        return;
    }
    if (timer_->isActive() && timedLocation_ == status.location()) {
        return;
    }
    // A save newly on show, or another file saved while it is: the ten seconds start from now.
    timedLocation_ = status.location();
    timer_->start(kReturnToReadyDelay, [this] { returnToReady(); });
}

void RecordingStatusView::returnToReady() {
    if (manager_.status().is(RecordingStatus::Kind::saved)) {
        manager_.setStatus(RecordingStatus::idle());
    }
}

} // namespace backreel
