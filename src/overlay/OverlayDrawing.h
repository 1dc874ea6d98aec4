#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <vector>

class QScreen;

namespace backreel {
class ScreenPictureService;
}

// Drawing shared by the overlay views. Main thread.
namespace backreel::overlay {

// What each screen shows, in the order given, to draw beneath its overlay where no compositing
// manager blends the overlay with the windows beneath it; null images where one runs (or without
// the service). To be taken before any overlay window is shown.
std::vector<QImage> backdropsFor(const QList<QScreen*>& screens, ScreenPictureService* pictures);

// Paints a screen's backdrop over the whole view (nothing for a null backdrop).
void paintBackdrop(QPainter& painter, const QRectF& bounds, const QImage& backdrop);

// Cuts a shape out of the dim: there the view shows its backdrop again or, without one, nothing.
void cutOut(QPainter& painter, const QPainterPath& shape, const QRectF& bounds, const QImage& backdrop);

// The desktop's general font at a pixel size and weight, or its fixed-pitch font.
QFont overlayFont(int pixelSize, QFont::Weight weight);
QFont overlayFixedFont(int pixelSize, QFont::Weight weight);

// The size a single line of text takes in a font.
QSizeF textSize(const QString& text, const QFont& font);

// A label: the text in white on a rounded pill of the given darkness.
void drawLabelPill(QPainter& painter, const QRectF& pill, const QString& text, const QFont& font,
                   double pillOpacity);

// A line of white text in a rectangle of its size, optionally with a soft black shadow around it.
enum class TextShadow { none, soft };
void drawWhiteText(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font,
                   TextShadow shadow);

} // namespace backreel::overlay
