#pragma once

// Qt first: moc cannot read the standard library's <concepts> before Qt's own headers.
#include <QWidget>

#include "capture/ReviewSnapshot.h"
#include "export/ReviewRules.h"
#include "platform/ReviewMedia.h"

#include <cstddef>
#include <memory>
#include <QElapsedTimer>
#include <QTimer>

class QLabel;
class QPushButton;

namespace backreel {

class RecordingManager;
class ReviewPictures;
class ReviewTimeline;

// Review…: the buffer as it was when asked, to look at before saving. The picture under the
// playhead, the timeline, play and pause with sound, in and out points (the in point on a key
// frame, since the video is passed through), and Save, which writes the selection as Save Clip
// writes a clip. Closing it lets the snapshot go.
//
// Keys: Space plays and pauses, I and O set the points at the playhead, the arrows step a picture,
// Enter saves, Esc closes.
//
// Thread contract: main thread.
class ReviewWindow final : public QWidget {
    Q_OBJECT

public:
    ReviewWindow(ReviewSnapshot snapshot, RecordingManager& manager,
                 std::shared_ptr<PictureDecoderService> decoders, std::shared_ptr<SoundPlayerService> sound,
                 QWidget* parent = nullptr);
    ~ReviewWindow() override;

    const ReviewSnapshot& snapshot() const { return snapshot_; }
    ReviewSelection selection() const { return selection_; }
    // The picture under the playhead.
    std::size_t position() const { return position_; }
    bool playing() const { return playTimer_.isActive(); }

    void setPosition(std::size_t index);
    void setIn();
    void setOut();
    void togglePlaying();
    // Saves the selection and closes.
    void save();

signals:
    // The picture under the playhead is shown (or could not be).
    void pictureShown(std::size_t index);
    // A thumbnail came in.
    void thumbnailShown(int slot);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    MediaTime timeOf(std::size_t index) const;
    // From the first picture's start to the last one's end, in seconds.
    double snapshotLength() const;
    double offsetOf(std::size_t index) const;
    std::size_t pictureAtOffset(double seconds) const;
    void pause();
    void playTick();
    void showSelection(const QString& note = {});
    void showPosition();
    void requestThumbnails();

    ReviewSnapshot snapshot_;
    RecordingManager& manager_;
    std::unique_ptr<SoundPlayer> sound_;
    ReviewPictures* pictures_ = nullptr;

    QLabel* picture_ = nullptr;
    ReviewTimeline* timeline_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLabel* selectionLabel_ = nullptr;
    QLabel* problem_ = nullptr;

    ReviewSelection selection_;
    std::size_t position_ = 0;
    QTimer playTimer_;
    QElapsedTimer playClock_;
    double playFrom_ = 0;
};

} // namespace backreel
