#include "overlay/OverlayDrawing.h"

#include "overlay/OverlayGeometry.h"
#include "overlay/OverlayPanel.h"
#include "platform/ScreenPictureService.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QScreen>

namespace backreel::overlay {

namespace {
constexpr double kPillRadius = 4;
// The shadow of a hint: the text repeated in faint black around its place, about 4 points wide.
constexpr double kShadowReach = 2;
constexpr double kShadowOpacity = 0.18;
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
} // namespace

std::vector<QImage> backdropsFor(const QList<QScreen*>& screens, ScreenPictureService* pictures) {
    const bool composited = pictures == nullptr || pictures->hasCompositingManager();
    std::vector<QImage> backdrops;
    for (QScreen* screen : screens) {
        backdrops.push_back(composited || screen == nullptr
                                ? QImage()
                                : pictures->picture(placementOf(*screen).windowServerRect().toRect()));
    }
    return backdrops;
}

void paintBackdrop(QPainter& painter, const QRectF& bounds, const QImage& backdrop) {
    if (backdrop.isNull()) {
        return;
    }
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(bounds, backdrop);
    painter.restore();
}

void cutOut(QPainter& painter, const QPainterPath& shape, const QRectF& bounds, const QImage& backdrop) {
    painter.save();
    if (backdrop.isNull()) {
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillPath(shape, Qt::black);
    } else {
        painter.setClipPath(shape);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(bounds, backdrop);
    }
    painter.restore();
}

QFont overlayFont(int pixelSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QFont overlayFixedFont(int pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QSizeF textSize(const QString& text, const QFont& font) {
    return QFontMetricsF(font).size(Qt::TextSingleLine, text);
}

void drawLabelPill(QPainter& painter, const QRectF& pill, const QString& text, const QFont& font,
                   double pillOpacity) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, static_cast<float>(pillOpacity)));
    painter.drawRoundedRect(pill, kPillRadius, kPillRadius);
    painter.restore();
    drawWhiteText(painter, textRectInPill(pill), text, font, TextShadow::none);
}

void drawWhiteText(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font,
                   TextShadow shadow) {
    painter.save();
    painter.setFont(font);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (shadow == TextShadow::soft) {
        painter.setPen(QColor::fromRgbF(0, 0, 0, static_cast<float>(kShadowOpacity)));
        for (double dx = -kShadowReach; dx <= kShadowReach; dx += 1) {
            for (double dy = -kShadowReach; dy <= kShadowReach; dy += 1) {
                painter.drawText(rect.translated(dx, dy), kTextFlags, text);
            }
        }
    }
    painter.setPen(Qt::white);
    painter.drawText(rect, kTextFlags, text);
    painter.restore();
}

} // namespace backreel::overlay
