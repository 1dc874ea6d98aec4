#pragma once

#include <QVariantAnimation>
#include <QWidget>

namespace backreel {

// A small indeterminate progress indicator: twelve spokes whose brightness turns once a second,
// moving only while it is shown. Main thread.
class ActivitySpinner final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSize = 16; // the small control size

    explicit ActivitySpinner(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {kSize, kSize}; }
    bool isSpinning() const { return rotation_.state() == QAbstractAnimation::Running; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QVariantAnimation rotation_;
    int step_ = 0;
};

} // namespace backreel
