#pragma once

#include <QWidget>

namespace backreel {

// The card that frames each section of the main window: its content with 12 points of padding on
// every side, stretched to the full width and aligned to the leading edge, on a rounded rectangle
// (radius 10) in the control background colour with a 1-point separator-coloured border drawn
// inside it. Main thread.
class NotionBlock final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPadding = 12;
    static constexpr qreal kCornerRadius = 10;

    // Takes ownership of `content`.
    explicit NotionBlock(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* content_;
};

} // namespace backreel
