#include "ui/CaptureTargetSection.h"

#include "capture/RecordingManager.h"
#include "platform/CaptureService.h"
#include "platform/WindowServer.h"
#include "ui/DisplayName.h"
#include "ui/InfoRow.h"
#include "ui/LinkButton.h"
#include "ui/PickerRow.h"
#include "ui/TargetPicker.h"
#include "ui/TextStyle.h"
#include "ui/ViewTransition.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace backreel {

namespace {
QPushButton* makeWideButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFont(textStyleFont(TextStyle::callout));
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}
} // namespace

CaptureTargetSection::CaptureTargetSection(RecordingManager& manager, Platform platform,
                                           TargetPicker& targetPicker, QWidget* parent)
    : QWidget(parent)
    , manager_(manager)
    , platform_(std::move(platform))
    , targetPicker_(targetPicker) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);

    capturePicker_ = new QComboBox(this);
    capturePicker_->setObjectName(QStringLiteral("captureModePicker"));
    for (CaptureModeSelection mode : allCaptureModes()) {
        capturePicker_->addItem(label(mode), modeKey(mode));
    }
    layout->addWidget(makePickerRow(QStringLiteral("Capture"), capturePicker_, this));

    screenRow_ = new QWidget(this);
    auto* screenLayout = new QHBoxLayout(screenRow_);
    screenLayout->setContentsMargins(0, 0, 0, 0);
    screenPicker_ = new QComboBox(screenRow_);
    screenPicker_->setObjectName(QStringLiteral("screenPicker"));
    screenPicker_->setAccessibleName(QStringLiteral("Screen"));
    screenPicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    screenLayout->addStretch(1);
    screenLayout->addWidget(screenPicker_);
    layout->addWidget(screenRow_);

    // Where the desktop's dialog chooses the window, the button says so; the dialog comes at the start.
    pickWindow_ = makeWideButton(platform_.capture->choosesContentInDialog()
                                     ? QStringLiteral("Choose in the desktop's dialog…")
                                     : QStringLiteral("Pick Window"),
                                 QStringLiteral("pickWindowButton"), this);
    layout->addWidget(pickWindow_);
    windowInfo_ = new InfoRow(QStringLiteral("Re-pick"), this);
    windowInfo_->setObjectName(QStringLiteral("windowInfoRow"));
    layout->addWidget(windowInfo_);
    selectRegion_ =
        makeWideButton(QStringLiteral("Select Region"), QStringLiteral("selectRegionButton"), this);
    layout->addWidget(selectRegion_);
    regionInfo_ = new InfoRow(QStringLiteral("Re-select"), this);
    regionInfo_->setObjectName(QStringLiteral("regionInfoRow"));
    layout->addWidget(regionInfo_);
    for (QWidget* item : {screenRow_, static_cast<QWidget*>(pickWindow_), static_cast<QWidget*>(windowInfo_),
                          static_cast<QWidget*>(selectRegion_), static_cast<QWidget*>(regionInfo_)}) {
        item->hide();
    }

    // Each click starts the flow and returns at once; the flow sets the target when it ends.
    const auto pickWindow = [this] {
        targetPicker_.pickWindowTarget();
    };
    const auto selectRegion = [this] {
        targetPicker_.selectRegionTarget();
    };
    connect(pickWindow_, &QPushButton::clicked, this, pickWindow);
    connect(windowInfo_, &InfoRow::buttonClicked, this, pickWindow);
    connect(selectRegion_, &QPushButton::clicked, this, selectRegion);
    connect(regionInfo_, &InfoRow::buttonClicked, this, selectRegion);
    connect(capturePicker_, &QComboBox::activated, this, [this](int index) {
        if (const auto mode = captureModeFromKey(capturePicker_->itemData(index).toString())) {
            chooseCaptureMode(*mode);
        }
    });
    connect(screenPicker_, &QComboBox::activated, this, &CaptureTargetSection::screenChosen);

    connect(&manager_, &RecordingManager::statusChanged, this, &CaptureTargetSection::updateEnabled);
    connect(&manager_, &RecordingManager::availableDisplaysChanged, this, [this] {
        rebuildScreenPicker();
        showTargetArea(false);
    });
    const auto targetChanged = [this] {
        updateScreenSelection();
        updateInfoTexts();
        showTargetArea(false);
    };
    connect(&manager_, &RecordingManager::captureTargetChanged, this, targetChanged);
    connect(&manager_, &RecordingManager::selectedWindowInfoChanged, this, targetChanged);

    rebuildScreenPicker();
    updateInfoTexts();
    showTargetArea(false);
    updateEnabled();
}

void CaptureTargetSection::chooseCaptureMode(CaptureModeSelection mode) {
    captureMode_ = mode;
    {
        const QSignalBlocker blocker(capturePicker_);
        capturePicker_->setCurrentIndex(capturePicker_->findData(modeKey(mode)));
    }
    showTargetArea(true);
    if (std::optional<CaptureTarget> target = targetAfterModeChange(mode, manager_.captureTarget())) {
        manager_.setCaptureTarget(*target);
        if (target->asDisplay() != nullptr) {
            // Back to Full Screen from a window or region: the display is chosen afresh.
            manager_.refreshDisplays();
        }
    }
}

QWidget* CaptureTargetSection::widgetFor(TargetAreaItem item) const {
    switch (item) {
    case TargetAreaItem::nothing:
        return nullptr;
    case TargetAreaItem::screenPicker:
        return screenRow_;
    case TargetAreaItem::pickWindowButton:
        return pickWindow_;
    case TargetAreaItem::windowInfo:
        return windowInfo_;
    case TargetAreaItem::selectRegionButton:
        return selectRegion_;
    case TargetAreaItem::regionInfo:
        return regionInfo_;
    }
    return nullptr;
}

void CaptureTargetSection::showTargetArea(bool animated) {
    const TargetAreaItem item =
        targetAreaItem(captureMode_, manager_.captureTarget(), manager_.selectedWindowInfo().has_value(),
                       manager_.availableDisplays().size());
    if (item == shownItem_) {
        return;
    }
    const auto transitionFor = [animated](TargetAreaItem shown) {
        const int duration = animated ? kModeAnimationMs : 0;
        const bool infoRow = shown == TargetAreaItem::windowInfo || shown == TargetAreaItem::regionInfo;
        return infoRow ? ViewTransition::fadeAndScale(duration, kInfoRowScale)
                       : ViewTransition::fade(duration);
    };
    if (QWidget* previous = widgetFor(shownItem_)) {
        animateRemoval(previous, transitionFor(shownItem_));
    }
    shownItem_ = item;
    if (QWidget* next = widgetFor(item)) {
        animateInsertion(next, transitionFor(item));
    }
}

void CaptureTargetSection::updateInfoTexts() {
    const std::optional<WindowPickInfo>& info = manager_.selectedWindowInfo();
    windowInfo_->setText(info ? info->appName : QString());
    const auto* region = manager_.captureTarget().asRegion();
    regionInfo_->setText(region != nullptr ? regionLabel(region->rect) : QString());
}

void CaptureTargetSection::rebuildScreenPicker() {
    const QSignalBlocker blocker(screenPicker_);
    screenPicker_->clear();
    const std::vector<ScreenDescription> screens = currentScreens();
    for (const Display& display : manager_.availableDisplays()) {
        screenPicker_->addItem(displayName(display, screens),
                               QVariant::fromValue<quint32>(display.displayID));
    }
    updateScreenSelection();
}

void CaptureTargetSection::updateScreenSelection() {
    const QSignalBlocker blocker(screenPicker_);
    const std::uint32_t selected = pickerDisplayID(manager_.captureTarget(), mainDisplayID());
    screenPicker_->setCurrentIndex(screenPicker_->findData(QVariant::fromValue<quint32>(selected)));
}

void CaptureTargetSection::screenChosen(int index) {
    const std::uint32_t id = screenPicker_->itemData(index).value<quint32>();
    manager_.setCaptureTarget(displayTargetFor(id, manager_.availableDisplays()));
}

void CaptureTargetSection::updateEnabled() {
    const bool enabled = settingsEnabled(manager_.status().kind());
    for (QWidget* control :
         {static_cast<QWidget*>(capturePicker_), static_cast<QWidget*>(screenPicker_),
          static_cast<QWidget*>(pickWindow_), static_cast<QWidget*>(selectRegion_),
          static_cast<QWidget*>(windowInfo_->button()), static_cast<QWidget*>(regionInfo_->button())}) {
        control->setEnabled(enabled);
    }
}

std::uint32_t CaptureTargetSection::mainDisplayID() const {
    const std::shared_ptr<WindowServer>& windowServer = platform_.windowServer;
    return windowServer ? windowServer->mainDisplayID() : 0;
}

} // namespace backreel
