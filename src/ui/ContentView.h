#pragma once

#include "platform/Platform.h"
#include "ui/CaptureModeSelection.h"
#include "ui/OneShotTimer.h"

#include <memory>
#include <QPointer>
#include <QWidget>
#include <QWindow>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace backreel {

class CaptureTargetSection;
class RecorderSettings;
class RecordingManager;
class RecordingStatusView;
class TargetPicker;

// The main window: a narrow borderless panel (300 points wide, as tall as its content, rounded
// with a 24-point radius) with the status line and three cards: the buffer duration, the memory
// limit, what the buffer will hold, the main button and "Save Clip"; the capture mode and target;
// and the options "Record this window", "Mute notifications" and "Always on top", with a
// "Settings…" link for the Save Clip settings and a "Keyboard Shortcuts…" link. Every control reads or writes
// the recording manager's published properties or the recorder's settings (the memory limit and "Mute
// notifications"), except the capture mode (view state) and "Always on top" (kept in the settings under
// "alwaysOnTop", applied to the window's level).
//
// Thread contract: main thread only.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 300;
    static constexpr int kPadding = 14;
    static constexpr int kSpacing = 6;
    static constexpr int kStatusBottomPadding = 2;
    static constexpr int kCardSpacing = 10;
    static constexpr int kOptionsSpacing = 8;
    static constexpr qreal kCornerRadius = 24;

    // `statusTimer` paces the status line's return to "Ready" (a monotonic timer when null).
    ContentView(RecordingManager& manager, RecorderSettings& settings, Platform platform,
                TargetPicker& targetPicker, std::unique_ptr<OneShotTimer> statusTimer = nullptr,
                QWidget* parent = nullptr);
    ~ContentView() override;

    CaptureModeSelection captureMode() const;
    // The native window hosting the view, once it has been handed over after a show.
    QWindow* appWindow() const { return appWindow_; }
    bool alwaysOnTop() const { return alwaysOnTop_; }
    // What toggling "Always on top" does: store the value, then apply it to a known window.
    void setAlwaysOnTop(bool onTop);

    RecordingStatusView* statusView() const { return statusView_; }
    QComboBox* durationPicker() const { return durationPicker_; }
    QComboBox* memoryLimitPicker() const { return memoryLimitPicker_; }
    QLabel* bufferEstimateLabel() const { return bufferEstimate_; }
    QPushButton* mainButton() const { return mainButton_; }
    QPushButton* saveClipButton() const { return saveClipButton_; }
    QPushButton* reviewButton() const { return reviewButton_; }
    QPushButton* settingsButton() const { return settingsButton_; }
    CaptureTargetSection* captureSection() const { return captureSection_; }
    QCheckBox* recordThisWindowBox() const { return recordThisWindow_; }
    QCheckBox* muteNotificationsBox() const { return muteNotifications_; }
    QCheckBox* alwaysOnTopBox() const { return alwaysOnTopBox_; }
    QPushButton* keyboardShortcutsButton() const { return keyboardShortcuts_; }

signals:
    // The user closed the window.
    void closed();
    // The user asked for the settings ("Settings…").
    void settingsRequested();
    // The user asked for the application menu at `globalPosition` (a right click on the panel).
    void menuRequested(const QPoint& globalPosition);
    // The user asked for the keyboard shortcuts ("Keyboard Shortcuts…" under the options).
    void keyboardShortcutsRequested();
    // The user asked to review the buffer ("Review…" under Save Clip).
    void reviewRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* makeRecordingCard();
    QWidget* makeOptionsCard();
    void mainButtonClicked();
    void updateForStatus();
    void updateOptions();
    void updateMemoryLimit();
    void updateBufferEstimate();
    void setAppWindow(QWindow* window);
    void applyWindowLevel();

    RecordingManager& manager_;
    RecorderSettings& settings_;
    const Platform platform_;
    QPointer<QWindow> appWindow_;
    bool alwaysOnTop_ = false;

    RecordingStatusView* statusView_ = nullptr;
    QComboBox* durationPicker_ = nullptr;
    QComboBox* memoryLimitPicker_ = nullptr;
    QLabel* bufferEstimate_ = nullptr;
    QPushButton* mainButton_ = nullptr;
    QPushButton* reviewButton_ = nullptr;
    QPushButton* saveClipButton_ = nullptr;
    QPushButton* settingsButton_ = nullptr;
    CaptureTargetSection* captureSection_ = nullptr;
    QCheckBox* recordThisWindow_ = nullptr;
    QCheckBox* muteNotifications_ = nullptr;
    QCheckBox* alwaysOnTopBox_ = nullptr;
    QPushButton* keyboardShortcuts_ = nullptr;
};

} // namespace backreel
