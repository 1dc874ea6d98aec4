#pragma once

#include <QPushButton>

namespace backreel {

// A borderless button that looks like a link: its text in the link colour (grey when disabled),
// underlined while the pointer is over it. Main thread.
class LinkButton final : public QPushButton {
    Q_OBJECT

public:
    explicit LinkButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace backreel
