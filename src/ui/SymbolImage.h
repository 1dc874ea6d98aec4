#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

namespace backreel {

// The small pictograms of the windows and the tray, drawn as vectors at the exact pixel size asked
// for so they stay crisp at every scale. "Knocked-out" parts are transparent, so what lies
// behind shows through as it would in a template image.
enum class Symbol {
    dot,                         // a filled circle
    recordCircle,                // a ring with a dot in its middle
    recordCircleFill,            // a disc with a thin ring-shaped gap around its middle
    checkmarkCircleFill,         // a disc with a check mark knocked out
    exclamationmarkTriangleFill, // a rounded triangle with an exclamation mark knocked out
};

// `logicalSize` in device-independent pixels; the image has `logicalSize * devicePixelRatio`
// pixels and carries that ratio. Any thread.
QImage renderSymbol(Symbol symbol, QSize logicalSize, qreal devicePixelRatio, const QColor& color);

} // namespace backreel
