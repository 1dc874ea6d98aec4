#include "ui/TextStyle.h"

#include <algorithm>
#include <cmath>
#include <QGuiApplication>

namespace backreel {

namespace {
// Sizes of the styles relative to the body text.
constexpr double kCalloutScale = 12.0 / 13.0;
constexpr double kCaptionScale = 10.0 / 13.0;

// Scales a font whose size may be given in points or in pixels.
QFont scaled(const QFont& font, double factor) {
    QFont result = font;
    if (font.pointSizeF() > 0) {
        result.setPointSizeF(std::max(font.pointSizeF() * factor, kMinimumPointSize));
    } else if (font.pixelSize() > 0) {
        result.setPixelSize(
            std::max(static_cast<int>(std::lround(font.pixelSize() * factor)), kMinimumPixelSize));
    }
    return result;
}
} // namespace

QFont textStyleFont(TextStyle style, QFont::Weight weight, const QFont& base) {
    QFont font = base;
    switch (style) {
    case TextStyle::body:
    case TextStyle::headline:
        break;
    case TextStyle::callout:
        font = scaled(base, kCalloutScale);
        break;
    case TextStyle::caption:
        font = scaled(base, kCaptionScale);
        break;
    }
    font.setWeight(weight);
    return font;
}

QFont textStyleFont(TextStyle style) {
    return textStyleFont(style, style == TextStyle::headline ? QFont::DemiBold : QFont::Normal);
}

QFont textStyleFont(TextStyle style, QFont::Weight weight) {
    return textStyleFont(style, weight, QGuiApplication::font());
}

} // namespace backreel
