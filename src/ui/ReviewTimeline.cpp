#include "ui/ReviewTimeline.h"

#include "export/ReviewRules.h"
#include "ui/SystemColors.h"
#include "ui/TextStyle.h"

#include <algorithm>
#include <cmath>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace backreel {

namespace {
constexpr int kMargin = 8;        // left and right of the track, so that the handles show whole
constexpr int kMarkerRow = 16;    // the ticks of the markers and their labels
constexpr int kThumbnailRow = 64; // the thumbnails
constexpr int kWaveRow = 36;      // the waveform
constexpr int kGrab = 6;          // how near a handle a press takes it
constexpr double kThumbnailAspect = 16.0 / 9.0;

QString timeText(double seconds) {
    return reviewTimeText(MediaTime::makeWithSeconds(seconds, kTimeScale));
}
} // namespace

ReviewTimeline::ReviewTimeline(QWidget* parent)
    : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Timeline"));
}

QSize ReviewTimeline::sizeHint() const {
    return {800, kMarkerRow + kThumbnailRow + kWaveRow + 2};
}

QSize ReviewTimeline::minimumSizeHint() const {
    return {320, sizeHint().height()};
}

QRect ReviewTimeline::track() const {
    return {kMargin, kMarkerRow, std::max(1, width() - 2 * kMargin), kThumbnailRow + kWaveRow};
}

int ReviewTimeline::xAt(double seconds) const {
    const QRect area = track();
    const double share = length_ > 0 ? std::clamp(seconds / length_, 0.0, 1.0) : 0.0;
    return area.left() + static_cast<int>(std::lround(share * area.width()));
}

double ReviewTimeline::timeAt(int x) const {
    const QRect area = track();
    return std::clamp(static_cast<double>(x - area.left()) / area.width(), 0.0, 1.0) * length_;
}

void ReviewTimeline::setLength(double seconds) {
    length_ = std::max(0.0, seconds);
    update();
}

int ReviewTimeline::thumbnailSlots() const {
    const QSize size = thumbnailSize();
    return std::max(1, track().width() / std::max(1, size.width()));
}

QSize ReviewTimeline::thumbnailSize() const {
    return {static_cast<int>(std::lround(kThumbnailRow * kThumbnailAspect)), kThumbnailRow};
}

void ReviewTimeline::setThumbnail(int slot, const QImage& image) {
    if (slot < 0) {
        return;
    }
    if (static_cast<std::size_t>(slot) >= thumbnails_.size()) {
        thumbnails_.resize(static_cast<std::size_t>(slot) + 1);
    }
    thumbnails_[static_cast<std::size_t>(slot)] = image;
    update();
}

void ReviewTimeline::setWaveform(std::vector<float> peaks) {
    waveform_ = std::move(peaks);
    update();
}

void ReviewTimeline::setMarkers(std::vector<std::pair<double, QString>> markers) {
    markers_ = std::move(markers);
    update();
}

void ReviewTimeline::setSelection(double in, double out) {
    in_ = in;
    out_ = out;
    update();
}

void ReviewTimeline::setPosition(double seconds) {
    position_ = seconds;
    update();
}

void ReviewTimeline::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    thumbnails_.clear();
    emit thumbnailSlotsChanged();
}

void ReviewTimeline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colors = palette();
    const QRect area = track();
    painter.fillRect(area, QColor(20, 20, 20));

    // Thumbnails, each in its slot, cropped to it.
    const int places = thumbnailSlots();
    const double slotWidth = static_cast<double>(area.width()) / places;
    for (std::size_t slot = 0; slot < thumbnails_.size() && static_cast<int>(slot) < places; ++slot) {
        const QImage& image = thumbnails_[slot];
        if (image.isNull()) {
            continue;
        }
        const QRect place(area.left() + static_cast<int>(std::lround(static_cast<double>(slot) * slotWidth)), area.top(),
                          static_cast<int>(std::ceil(slotWidth)), kThumbnailRow);
        painter.save();
        painter.setClipRect(place);
        const QSize shown = image.size().scaled(place.size(), Qt::KeepAspectRatioByExpanding);
        painter.drawImage(QRect(QPoint(place.center().x() - shown.width() / 2, place.top()), shown), image);
        painter.restore();
    }

    // The waveform: a bar per column, up and down from the middle of its row.
    const QRect wave(area.left(), area.top() + kThumbnailRow, area.width(), kWaveRow);
    painter.fillRect(wave, QColor(32, 32, 36));
    if (!waveform_.empty()) {
        const QColor level = system_colors::accent(colors);
        const double columnWidth = static_cast<double>(wave.width()) / static_cast<double>(waveform_.size());
        for (std::size_t column = 0; column < waveform_.size(); ++column) {
            const int half = std::max(1, static_cast<int>(std::lround(waveform_[column] * (kWaveRow / 2 - 2))));
            const int x = wave.left() + static_cast<int>(std::lround(static_cast<double>(column) * columnWidth));
            painter.fillRect(QRect(x, wave.center().y() - half, std::max(1, static_cast<int>(columnWidth)), 2 * half),
                             level);
        }
    }

    // What the selection leaves out, dimmed; its handles.
    const int inX = xAt(in_);
    const int outX = xAt(out_);
    const QColor dim(0, 0, 0, 150);
    painter.fillRect(QRect(QPoint(area.left(), area.top()), QPoint(inX, area.bottom())), dim);
    painter.fillRect(QRect(QPoint(outX, area.top()), QPoint(area.right(), area.bottom())), dim);
    const QColor handle(255, 196, 0);
    painter.fillRect(QRect(inX - 2, area.top(), 4, area.height()), handle);
    painter.fillRect(QRect(outX - 2, area.top(), 4, area.height()), handle);
    painter.setPen(QPen(handle, 2));
    painter.drawRect(QRect(QPoint(inX, area.top() + 1), QPoint(outX, area.bottom())));

    // The markers: a tick each above the track, with its label beside it as far as the next one.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(textStyleFont(TextStyle::caption));
    const QColor markerColour(80, 170, 255);
    for (std::size_t i = 0; i < markers_.size(); ++i) {
        const auto& [at, label] = markers_[i];
        const int x = xAt(at);
        QPainterPath tick;
        tick.moveTo(x - 5, 2);
        tick.lineTo(x + 5, 2);
        tick.lineTo(x, kMarkerRow - 2);
        tick.closeSubpath();
        painter.fillPath(tick, markerColour);
        painter.fillRect(QRect(x, area.top(), 1, kThumbnailRow), QColor(80, 170, 255, 160));
        const int next = i + 1 < markers_.size() ? xAt(markers_[i + 1].first) : width();
        painter.setPen(system_colors::primaryText(colors));
        painter.drawText(QRect(x + 7, 0, std::max(0, next - x - 10), kMarkerRow), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(label, Qt::ElideRight, std::max(0, next - x - 10)));
    }

    // The playhead.
    const int playX = xAt(position_);
    painter.fillRect(QRect(playX - 1, area.top() - 3, 2, area.height() + 4), system_colors::red(colors));

    // The time under the pointer.
    if (hoverX_) {
        const int x = std::clamp(*hoverX_, area.left(), area.right());
        painter.fillRect(QRect(x, area.top(), 1, area.height()), QColor(255, 255, 255, 170));
        painter.setFont(textStyleFont(TextStyle::caption));
        const QString text = timeText(timeAt(x));
        const QRect box = painter.fontMetrics().boundingRect(text).adjusted(-4, -1, 4, 1);
        const int left = std::clamp(x - box.width() / 2, 0, std::max(0, width() - box.width()));
        const QRect label(left, area.top() + 2, box.width(), box.height());
        painter.fillRect(label, QColor(0, 0, 0, 200));
        painter.setPen(Qt::white);
        painter.drawText(label, Qt::AlignCenter, text);
    }
}

void ReviewTimeline::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const int x = static_cast<int>(event->position().x());
    drag_ = std::abs(x - xAt(in_)) <= kGrab    ? Drag::in
            : std::abs(x - xAt(out_)) <= kGrab ? Drag::out
                                               : Drag::position;
    dragTo(x);
}

void ReviewTimeline::mouseMoveEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    hoverX_ = x;
    const bool nearHandle = std::abs(x - xAt(in_)) <= kGrab || std::abs(x - xAt(out_)) <= kGrab;
    setCursor(drag_ == Drag::in || drag_ == Drag::out || (drag_ == Drag::none && nearHandle) ? Qt::SizeHorCursor
                                                                                             : Qt::ArrowCursor);
    if (drag_ != Drag::none) {
        dragTo(x);
    }
    update();
}

void ReviewTimeline::mouseReleaseEvent(QMouseEvent*) {
    drag_ = Drag::none;
}

void ReviewTimeline::leaveEvent(QEvent*) {
    hoverX_.reset();
    update();
}

void ReviewTimeline::dragTo(int x) {
    const double at = timeAt(x);
    switch (drag_) {
    case Drag::in:
        emit inPicked(at);
        break;
    case Drag::out:
        emit outPicked(at);
        break;
    case Drag::position:
        emit positionPicked(at);
        break;
    case Drag::none:
        break;
    }
}

} // namespace backreel
