#pragma once

#include <QColor>
#include <QIconEngine>

namespace backreel {

// The tray item's icon: a record circle, filled while buffering, drawn at whatever size and pixel
// ratio the tray asks for, in the current palette's text colour so it follows the light or dark
// theme. Main thread.
class RecordIconEngine final : public QIconEngine {
public:
    enum class Style { outline, filled };

    explicit RecordIconEngine(Style style);

    // The colour the icon is drawn in for the application's current palette and `mode`.
    static QColor iconColor(QIcon::Mode mode);
    // The colour this icon is drawn in: red for the filled one, else iconColor().
    QColor colorFor(QIcon::Mode mode) const;

    Style style() const { return style_; }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;

private:
    Style style_;
};

} // namespace backreel
