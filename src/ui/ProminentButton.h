#pragma once

#include <QPushButton>

namespace backreel {

// A push button filled with the accent colour, its label in the highlighted-text colour,
// stretched to the full width: the window's one primary command. Main thread.
class ProminentButton final : public QPushButton {
    Q_OBJECT

public:
    explicit ProminentButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace backreel
