#pragma once

#include "common/RecordingStatus.h"
#include "ui/OneShotTimer.h"

#include <chrono>
#include <memory>
#include <QTimer>
#include <QUrl>
#include <QWidget>

class QLabel;
class QPushButton;

namespace backreel {

class ActivitySpinner;
class RecordingManager;
class SymbolView;

// The status line at the top of the main window: the manager's status as one of five small
// layouts (ready, recording, saving, saved with the file name, error with the message), faded
// into one another. Ten seconds after a save has been shown it returns the status to idle. Under
// an error, the line below offers to save the clip that is not saved yet, while there is one. Below the
// page a line tells of Save Clip: "Saving… (N clips)" while clips are written, then for ten
// seconds while buffering how the last one ended; when it has nothing to say, the same line tells
// of the unsaved clips ("Unsaved (8 s, 14:07)") with Save Again… and Discard for the newest. The
// line keeps its place whatever it shows, so that nothing below it moves.
//
// Thread contract: main thread only.
class RecordingStatusView final : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kReturnToReadyDelay{10'000};
    static constexpr int kTransitionMs = 150;
    static constexpr int kDotSize = 7;
    static constexpr int kErrorLines = 2;
    // The width the status line has in the main window, used until it is laid out.
    static constexpr int kDefaultWidth = 272;

    explicit RecordingStatusView(RecordingManager& manager, std::unique_ptr<OneShotTimer> timer = nullptr,
                                 QWidget* parent = nullptr);
    ~RecordingStatusView() override;

    // What is on show, for the window's own checks and for tests.
    RecordingStatus::Kind shownKind() const { return shownKind_; }
    QLabel* titleLabel() const; // "Ready", "Recording…", "Saving…", "Saved!" or the message
    QLabel* fileNameLabel() const { return fileName_; }
    // "Save Again…" or "Save What Was Buffered…" and "Discard" for the newest unsaved clip, and
    // the line they are on; hidden without an unsaved clip or while the Save Clip line shows.
    QPushButton* offerButton() const { return offer_; }
    QPushButton* discardButton() const { return discard_; }
    QLabel* unsavedClipsLabel() const { return unsaved_; }
    bool isReturnToReadyPending() const { return timer_->isActive(); }
    // The Save Clip line; hidden when it has nothing to say.
    QLabel* clipSavesLabel() const { return clipSaves_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* pageFor(RecordingStatus::Kind kind) const;
    void statusChanged();
    void updateOffer();
    void clipSavesChanged();
    void updateClipSavesLine();
    // Shows the Save Clip line when it has something to say, else the unsaved clips' line.
    void updateBottomLine();
    void showStatus(bool animated);
    void updateWidthDependentTexts();
    void applyColors();
    void updateReturnToReady();
    void returnToReady();
    int textWidth() const;

    RecordingManager& manager_;
    std::unique_ptr<OneShotTimer> timer_;
    RecordingStatus::Kind shownKind_ = RecordingStatus::Kind::idle;
    RecordingStatus shownStatus_;
    // The saved file the pending return to "Ready" was started for.
    QUrl timedLocation_;

    QWidget* idlePage_ = nullptr;
    QWidget* bufferingPage_ = nullptr;
    QWidget* savingPage_ = nullptr;
    QWidget* savedPage_ = nullptr;
    QWidget* errorPage_ = nullptr;
    SymbolView* idleDot_ = nullptr;
    SymbolView* bufferingDot_ = nullptr;
    SymbolView* savedSymbol_ = nullptr;
    SymbolView* errorSymbol_ = nullptr;
    ActivitySpinner* spinner_ = nullptr;
    QLabel* ready_ = nullptr;
    QLabel* recording_ = nullptr;
    QLabel* saving_ = nullptr;
    QLabel* saved_ = nullptr;
    QLabel* fileName_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* offer_ = nullptr;
    QPushButton* discard_ = nullptr;
    QLabel* unsaved_ = nullptr;
    QWidget* unsavedRow_ = nullptr;
    QLabel* clipSaves_ = nullptr;
    QWidget* bottomLine_ = nullptr;
    // Runs while the last Save Clip's outcome is on show.
    QTimer clipOutcomeShown_;
};

} // namespace backreel
