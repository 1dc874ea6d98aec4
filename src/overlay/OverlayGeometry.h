#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <vector>

// The geometry of the selection overlays: plain values in, plain values out.
//
// Three spaces meet here. The window server's space (window bounds, display frames, region
// rectangles) is the X root window's: origin at its top-left, y down, one point per pixel. Qt's
// global space has the same origin, and every screen keeps its top-left corner there, but inside
// a screen Qt counts logical pixels, `scale` device pixels each. An overlay view's own space is
// its screen's logical space: origin at the screen's top-left corner, y down.
namespace backreel::overlay {

// One screen as the overlays see it: its geometry in Qt's global space and its scale.
struct ScreenPlacement {
    QRectF geometry;    // QScreen::geometry()
    double scale = 1.0; // QScreen::devicePixelRatio()

    // The screen in the window server's space: same top-left corner, size in device pixels.
    QRectF windowServerRect() const;
    friend bool operator==(const ScreenPlacement&, const ScreenPlacement&) = default;
};

// Whether the point lies in the rectangle, edges at the minimum included, at the maximum not.
bool containsPoint(const QRectF& rect, QPointF point);

// A rectangle of the window server's space in the view of the given screen.
QRectF windowServerRectToView(const QRectF& rect, const ScreenPlacement& screen);

// A point of Qt's global space in the window server's space, through the screen that holds it
// (the first one that does); unchanged when no screen does.
QPointF globalToWindowServer(QPointF point, const std::vector<ScreenPlacement>& screens);

// The rectangle of a region selection in its display's top-left space: the view's rectangle in
// device pixels, neither moved nor clipped to the screen.
QRectF viewRectToDisplay(const QRectF& rect, double scale);

// A rectangle of a view that shows a picture stretched over the whole of it, in the picture's own
// units (pictureSize), clipped to the picture; empty when either size is empty.
QRectF viewRectOnPicture(const QRectF& rect, QSizeF viewSize, QSizeF pictureSize);

// The screen (by its geometry in Qt's global space) that shows a display's frame: the first that
// holds the frame's centre; none when none does.
std::optional<std::size_t> screenShowing(const std::vector<QRectF>& screenGeometries, const QRectF& frame);

// The rectangle a drag spans from its start to the current position, whichever way it went.
QRectF dragRect(QPointF start, QPointF current);

// Whether a drag is large enough to select a region: more than 10 points each way.
bool isLargeEnoughSelection(const QRectF& rect);

// The size label of a selection: its width and height, each cut to whole points.
QString sizeLabelText(const QRectF& rect);

// Whether a label may leave the screen at the sides.
enum class HorizontalFit { keepInside, free };

// Where a label pill of the given size goes for a rectangle of a view: centred 6 points below
// it, or 6 points above it when it would come closer than 4 points to the view's bottom edge;
// with keepInside, moved sideways to stay at least 4 points inside the view.
QRectF labelPillRect(const QRectF& target, QSizeF pillSize, const QRectF& bounds, HorizontalFit fit);

// The pill around a text of the given size: 6 points of padding at the sides, 3 above and below.
QSizeF pillSizeForText(QSizeF textSize);
QRectF textRectInPill(const QRectF& pill);

// The window picker's hint: centred, 24 points below the top edge.
QRectF pickerHintRect(QSizeF textSize, const QRectF& bounds);
// The region selector's hint: centred, its bottom edge 16 points above the middle of the view.
QRectF regionHintRect(QSizeF textSize, const QRectF& bounds);
// The crosshair below the region selector's hint: 36-point lines crossing 10 points below the
// middle of the view.
std::array<QLineF, 2> crosshairLines(const QRectF& bounds);

// The 8-point squares of the corner dots of a selection, in the order top-left, top-right,
// bottom-left, bottom-right.
std::array<QRectF, 4> cornerDotRects(const QRectF& selection);

} // namespace backreel::overlay
