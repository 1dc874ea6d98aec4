#include "ui/SymbolView.h"

#include <QPainter>

namespace backreel {

SymbolView::SymbolView(Symbol symbol, QSize size, QWidget* parent)
    : QWidget(parent)
    , symbol_(symbol)
    , size_(size) {
    setFixedSize(size_);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setSymbol(Symbol symbol) {
    symbol_ = symbol;
    update();
}

void SymbolView::setColor(const QColor& color) {
    color_ = color;
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), renderSymbol(symbol_, size_, devicePixelRatioF(), color_));
}

} // namespace backreel
