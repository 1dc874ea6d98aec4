#include "ui/MainWindowRules.h"

#include <cmath>

namespace backreel {

QString mainButtonTitle(RecordingStatus::Kind status) {
    switch (status) {
    case RecordingStatus::Kind::buffering:
        return QStringLiteral("Stop & Save");
    case RecordingStatus::Kind::saving:
        return QStringLiteral("Saving…");
    case RecordingStatus::Kind::idle:
    case RecordingStatus::Kind::saved:
    case RecordingStatus::Kind::error:
        break;
    }
    return QStringLiteral("Start Recording");
}

bool mainButtonEnabled(RecordingStatus::Kind status) {
    return status != RecordingStatus::Kind::saving;
}

bool saveClipEnabled(RecordingStatus::Kind status) {
    return status == RecordingStatus::Kind::buffering;
}

bool settingsEnabled(RecordingStatus::Kind status) {
    return status != RecordingStatus::Kind::buffering;
}

MainButtonAction mainButtonAction(RecordingStatus::Kind status) {
    switch (status) {
    case RecordingStatus::Kind::buffering:
        return MainButtonAction::stopAndSave;
    case RecordingStatus::Kind::saving:
        return MainButtonAction::none;
    case RecordingStatus::Kind::idle:
    case RecordingStatus::Kind::saved:
    case RecordingStatus::Kind::error:
        break;
    }
    return MainButtonAction::startRecording;
}

TargetAreaItem targetAreaItem(CaptureModeSelection mode, const CaptureTarget& target, bool hasWindowInfo,
                              std::size_t displayCount) {
    switch (mode) {
    case CaptureModeSelection::display:
        return displayCount >= 2 ? TargetAreaItem::screenPicker : TargetAreaItem::nothing;
    case CaptureModeSelection::window:
        return target.asWindow() != nullptr && hasWindowInfo ? TargetAreaItem::windowInfo
                                                             : TargetAreaItem::pickWindowButton;
    case CaptureModeSelection::region:
        return target.asRegion() != nullptr ? TargetAreaItem::regionInfo : TargetAreaItem::selectRegionButton;
    }
    return TargetAreaItem::nothing;
}

std::optional<CaptureTarget> targetAfterModeChange(CaptureModeSelection mode, const CaptureTarget& target) {
    if (mode == CaptureModeSelection::display && target.asDisplay() == nullptr) {
        return CaptureTarget::display();
    }
    if (mode == CaptureModeSelection::window && target.asWindow() == nullptr) {
        return CaptureTarget::window(ContentFilter::window(Window{}));
    }
    return std::nullopt;
}

bool showsRecordThisWindow(const CaptureTarget& target, bool choosesInDialog) {
    return target.asDisplay() != nullptr && !choosesInDialog;
}

std::uint32_t pickerDisplayID(const CaptureTarget& target, std::uint32_t mainDisplayID) {
    if (const auto* display = target.asDisplay(); display != nullptr && display->display) {
        return display->display->displayID;
    }
    return mainDisplayID;
}

CaptureTarget displayTargetFor(std::uint32_t displayID, const std::vector<Display>& displays) {
    for (const Display& display : displays) {
        if (display.displayID == displayID) {
            return CaptureTarget::display(display);
        }
    }
    return CaptureTarget::display();
}

QString regionLabel(const QRectF& region) {
    const auto truncated = [](qreal value) {
        return QString::number(static_cast<long long>(std::trunc(value)));
    };
    return truncated(region.width()) + QStringLiteral(" × ") + truncated(region.height());
}

QPoint topTrailingPosition(const QRect& available, const QSize& size, Qt::LayoutDirection direction) {
    const int x = direction == Qt::RightToLeft ? available.left() : available.right() + 1 - size.width();
    return {x, available.top()};
}

} // namespace backreel
