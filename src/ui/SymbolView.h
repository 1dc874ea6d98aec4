#pragma once

#include "ui/SymbolImage.h"

#include <QWidget>

namespace backreel {

// Shows one symbol in one colour at a fixed size, redrawn at the screen's pixel ratio. Main thread.
class SymbolView final : public QWidget {
    Q_OBJECT

public:
    SymbolView(Symbol symbol, QSize size, QWidget* parent = nullptr);

    Symbol symbol() const { return symbol_; }
    void setSymbol(Symbol symbol);
    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override { return size_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol symbol_;
    QSize size_;
    QColor color_ = Qt::black;
};

} // namespace backreel
