#pragma once

#include "platform/Platform.h"
#include "ui/CaptureModeSelection.h"
#include "ui/MainWindowRules.h"

#include <QWidget>

class QComboBox;
class QPushButton;

namespace backreel {

class InfoRow;
class RecordingManager;
class TargetPicker;

// The capture card's content: the Capture picker (Full Screen, Window, Region) and below it the
// target area, which shows the Screen picker, the pick or select button, or the row naming the
// chosen window or region. Changes of the capture mode are animated (0.2 s, ease-in-out).
//
// Thread contract: main thread only.
class CaptureTargetSection final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSpacing = 10;
    static constexpr int kModeAnimationMs = 200;
    static constexpr qreal kInfoRowScale = 0.97;

    CaptureTargetSection(RecordingManager& manager, Platform platform, TargetPicker& targetPicker,
                         QWidget* parent = nullptr);

    CaptureModeSelection captureMode() const { return captureMode_; }
    // What choosing `mode` in the Capture picker does.
    void chooseCaptureMode(CaptureModeSelection mode);

    TargetAreaItem shownItem() const { return shownItem_; }
    QComboBox* captureModePicker() const { return capturePicker_; }
    QComboBox* screenPicker() const { return screenPicker_; }
    QPushButton* pickWindowButton() const { return pickWindow_; }
    QPushButton* selectRegionButton() const { return selectRegion_; }
    InfoRow* windowInfoRow() const { return windowInfo_; }
    InfoRow* regionInfoRow() const { return regionInfo_; }

private:
    QWidget* widgetFor(TargetAreaItem item) const;
    void showTargetArea(bool animated);
    void updateInfoTexts();
    void rebuildScreenPicker();
    void updateScreenSelection();
    void screenChosen(int index);
    void updateEnabled();
    std::uint32_t mainDisplayID() const;

    RecordingManager& manager_;
    const Platform platform_;
    TargetPicker& targetPicker_;
    CaptureModeSelection captureMode_ = CaptureModeSelection::display;
    TargetAreaItem shownItem_ = TargetAreaItem::nothing;

    QComboBox* capturePicker_ = nullptr;
    QWidget* screenRow_ = nullptr;
    QComboBox* screenPicker_ = nullptr;
    QPushButton* pickWindow_ = nullptr;
    QPushButton* selectRegion_ = nullptr;
    InfoRow* windowInfo_ = nullptr;
    InfoRow* regionInfo_ = nullptr;
};

} // namespace backreel
