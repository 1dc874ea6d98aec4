#include "app/TrayIcon.h"

#include "app/RecordIconEngine.h"
#include "capture/RecordingManager.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/SaveFlowStandIn.h"
#include "support/WidgetTest.h"
#include "ui/SymbolImage.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMenu>

using namespace backreel;
using Kind = RecordingStatus::Kind;
using Style = RecordIconEngine::Style;

namespace {

// The alpha of the pixel at `fraction` of the radius right of the centre.
int alphaAt(const QImage& image, double fraction) {
    const double centre = image.width() / 2.0;
    const int x = static_cast<int>(centre + fraction * image.width() / 2.0);
    return qAlpha(image.pixel(x, image.height() / 2));
}

bool opaque(int alpha) {
    return alpha > 200;
}
bool clear(int alpha) {
    return alpha < 50;
}

QImage iconImage(const QIcon& icon, int side) {
    return icon.pixmap(QSize(side, side), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TEST(RecordIcon, FilledOnlyWhileBuffering) {
    EXPECT_EQ(TrayIcon::styleFor(Kind::buffering), Style::filled);
    for (Kind status : {Kind::idle, Kind::saving, Kind::saved, Kind::error}) {
        EXPECT_EQ(TrayIcon::styleFor(status), Style::outline);
    }
}

TEST(RecordIcon, CrispAtEverySizeWithARingOrADisc) {
    const QIcon outline(new RecordIconEngine(Style::outline));
    const QIcon filled(new RecordIconEngine(Style::filled));
    for (int side : {16, 22, 24, 32, 44, 64, 128}) {
        SCOPED_TRACE(side);
        const QImage ring = iconImage(outline, side);
        const QImage disc = iconImage(filled, side);
        // Drawn for exactly the pixels asked for, not scaled from another size.
        ASSERT_EQ(ring.size(), QSize(side, side));
        ASSERT_EQ(disc.size(), QSize(side, side));
        // Both have the middle dot and nothing outside the circle.
        EXPECT_TRUE(opaque(alphaAt(ring, 0.0)));
        EXPECT_TRUE(opaque(alphaAt(disc, 0.0)));
        EXPECT_EQ(qAlpha(ring.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(disc.pixel(0, 0)), 0);
        if (side < 32) {
            continue; // too few pixels to tell the rings apart by single pixels
        }
        // Around the dot both show what is behind; the disc is solid from a little further out,
        // the ring only at its rim.
        EXPECT_TRUE(clear(alphaAt(ring, 0.62)));
        EXPECT_TRUE(clear(alphaAt(disc, 0.62)));
        EXPECT_TRUE(clear(alphaAt(ring, 0.77)));
        EXPECT_TRUE(opaque(alphaAt(disc, 0.77)));
        EXPECT_TRUE(opaque(alphaAt(ring, 0.93)));
        EXPECT_TRUE(opaque(alphaAt(disc, 0.93)));
    }
}

TEST(RecordIcon, HighDensityPicturesHaveAllTheirPixels) {
    const QImage image = renderSymbol(Symbol::recordCircle, QSize(22, 22), 2.0, Qt::black);
    EXPECT_EQ(image.size(), QSize(44, 44));
    EXPECT_DOUBLE_EQ(image.devicePixelRatio(), 2.0);
}

TEST(RecordIcon, DrawnInThePalettesTextColour) {
    const QPalette original = QApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
    QApplication::setPalette(dark);
    const QImage onDark = iconImage(QIcon(new RecordIconEngine(Style::filled)), 32);
    QPalette light = original;
    light.setColor(QPalette::Window, QColor(0xf0, 0xf0, 0xf0));
    light.setColor(QPalette::WindowText, QColor(0x10, 0x10, 0x10));
    QApplication::setPalette(light);
    const QImage onLight = iconImage(QIcon(new RecordIconEngine(Style::filled)), 32);
    QApplication::setPalette(original);

    EXPECT_EQ(QColor(onDark.pixel(16, 16)).rgb(), QColor(0xf0, 0xf0, 0xf0).rgb());
    EXPECT_EQ(QColor(onLight.pixel(16, 16)).rgb(), QColor(0x10, 0x10, 0x10).rgb());
}

TEST(TrayIcon, FollowsTheStatusAndTheTheme) {
    auto state = std::make_shared<SyntheticState>();
    RecordingManager manager(makeSyntheticPlatform(state), std::make_shared<test::SaveFlowStandIn>(state));
    QMenu menu;
    TrayIcon tray(manager, &menu);
    EXPECT_EQ(tray.systemTrayIcon().toolTip(), QStringLiteral("Backreel"));
    EXPECT_EQ(tray.systemTrayIcon().contextMenu(), &menu);
    EXPECT_EQ(tray.shownStyle(), Style::outline);

    manager.setStatus(RecordingStatus::buffering());
    EXPECT_EQ(tray.shownStyle(), Style::filled);
    EXPECT_TRUE(opaque(alphaAt(iconImage(tray.systemTrayIcon().icon(), 32), 0.77)));
    // The icon changes back as soon as a stop moves the status to saving.
    manager.setStatus(RecordingStatus::saving());
    EXPECT_EQ(tray.shownStyle(), Style::outline);
    EXPECT_TRUE(clear(alphaAt(iconImage(tray.systemTrayIcon().icon(), 32), 0.77)));
    manager.setStatus(RecordingStatus::error(QStringLiteral("x")));
    EXPECT_EQ(tray.shownStyle(), Style::outline);

    // A new theme: the icon is set again so the tray draws it in the new colour.
    const qint64 before = tray.systemTrayIcon().icon().cacheKey();
    const QPalette original = QApplication::palette();
    QPalette changed = original;
    changed.setColor(QPalette::WindowText, QColor(0xff, 0xff, 0xff));
    QApplication::setPalette(changed);
    EXPECT_NE(tray.systemTrayIcon().icon().cacheKey(), before);
    QApplication::setPalette(original);
}
