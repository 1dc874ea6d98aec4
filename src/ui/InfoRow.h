#pragma once

#include <QWidget>

class QLabel;

namespace backreel {

class LinkButton;

// The row that names the chosen window or region: its text (callout, medium, one line), a
// flexible space and a link-style button, padded 8 points, on a rounded rectangle (radius 8) in
// the quaternary fill colour with a 1-point separator-coloured border inside it. Main thread.
class InfoRow final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPadding = 8;
    static constexpr int kSpacing = 4;
    static constexpr qreal kCornerRadius = 8;

    InfoRow(const QString& buttonText, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    LinkButton* button() const { return button_; }

signals:
    void buttonClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateShownText();

    QString text_;
    QLabel* label_;
    LinkButton* button_;
};

} // namespace backreel
