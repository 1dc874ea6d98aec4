#include "app/RecordIconEngine.h"

#include "ui/SymbolImage.h"
#include "ui/SystemColors.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

namespace backreel {

namespace {
Symbol symbolFor(RecordIconEngine::Style style) {
    return style == RecordIconEngine::Style::filled ? Symbol::recordCircleFill : Symbol::recordCircle;
}
} // namespace

RecordIconEngine::RecordIconEngine(Style style)
    : style_(style) {}

QColor RecordIconEngine::iconColor(QIcon::Mode mode) {
    const QPalette palette = QGuiApplication::palette();
    return palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                         QPalette::WindowText);
}

QColor RecordIconEngine::colorFor(QIcon::Mode mode) const {
    // Recording is red, as everywhere; the outline takes the text's colour.
    return style_ == Style::filled && mode != QIcon::Disabled ? system_colors::red(QGuiApplication::palette())
                                                              : iconColor(mode);
}

void RecordIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) {
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawImage(rect.topLeft(), renderSymbol(symbolFor(style_), rect.size(), ratio, colorFor(mode)));
}

QPixmap RecordIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) {
    // `size` is in device pixels: the picture is drawn for exactly that many.
    return QPixmap::fromImage(renderSymbol(symbolFor(style_), size, 1.0, colorFor(mode)));
}

QList<QSize> RecordIconEngine::availableSizes(QIcon::Mode, QIcon::State) {
    // The sizes trays commonly ask for; any other size is drawn just as crisply.
    return {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64)};
}

QIconEngine* RecordIconEngine::clone() const {
    return new RecordIconEngine(style_);
}

QString RecordIconEngine::key() const {
    return QStringLiteral("BackreelRecordIcon");
}

} // namespace backreel
