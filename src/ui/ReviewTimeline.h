#pragma once

#include <optional>
#include <QImage>
#include <QWidget>
#include <vector>

namespace backreel {

// The review window's timeline: thumbnails of the snapshot, the system sound's waveform under
// them, the markers as ticks above, the selection between its in and out handles (what lies
// outside it dimmed), the playhead, and the time under the pointer. Clicking or dragging on it
// moves the playhead; dragging a handle moves that point. It shows what it is told and reports
// what the user points at; the window decides what that becomes.
//
// Times are seconds from the snapshot's start. Thread contract: main thread.
class ReviewTimeline final : public QWidget {
    Q_OBJECT

public:
    explicit ReviewTimeline(QWidget* parent = nullptr);

    void setLength(double seconds);
    // As many empty thumbnail places as fit the width; thumbnailSlotsChanged() tells of a change.
    int thumbnailSlots() const;
    QSize thumbnailSize() const;
    void setThumbnail(int slot, const QImage& image);
    void setWaveform(std::vector<float> peaks);
    void setMarkers(std::vector<std::pair<double, QString>> markers);
    // In: where the first saved picture starts; out: where the last one ends.
    void setSelection(double in, double out);
    void setPosition(double seconds);
    double position() const { return position_; }

    // The x of a time, and the time at an x, within the track.
    int xAt(double seconds) const;
    double timeAt(int x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void positionPicked(double seconds);
    void inPicked(double seconds);
    void outPicked(double seconds);
    void thumbnailSlotsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Drag { none, position, in, out };
    void dragTo(int x);
    QRect track() const;

    double length_ = 0;
    std::vector<QImage> thumbnails_;
    std::vector<float> waveform_;
    std::vector<std::pair<double, QString>> markers_;
    double in_ = 0;
    double out_ = 0;
    double position_ = 0;
    std::optional<int> hoverX_;
    Drag drag_ = Drag::none;
};

} // namespace backreel
