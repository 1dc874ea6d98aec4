#include "app/TrayIcon.h"

#include "app/RecordIconEngine.h"
#include "support/WidgetTest.h"
#include "ui/SymbolImage.h"

using namespace backreel;
using Style = RecordIconEngine::Style;

namespace {

QImage iconImage(const QIcon& icon, int side) {
    return icon.pixmap(QSize(side, side), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Whether the pixel at `fraction` of the radius right of the centre is drawn (else it shows what
// is behind).
bool drawnAt(const QImage& image, double fraction) {
    const int x = static_cast<int>(image.width() / 2.0 * (1 + fraction));
    const int alpha = qAlpha(image.pixel(x, image.height() / 2));
    EXPECT_TRUE(alpha > 200 || alpha < 50) << "half drawn at " << fraction;
    return alpha > 200;
}

QImage filledIconIn(const QColor& text) {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::WindowText, text);
    QApplication::setPalette(palette);
    return iconImage(QIcon(new RecordIconEngine(Style::filled)), 32);
}

} // namespace

// Drawn for exactly the pixels asked for, not scaled from another size: both have the middle dot
// and nothing outside the circle; around the dot both show what is behind, the disc is solid from
// a little further out, the ring only at its rim.
TEST(RecordIcon, CrispAtEverySizeWithARingOrADisc) {
    const QIcon outline(new RecordIconEngine(Style::outline));
    const QIcon filled(new RecordIconEngine(Style::filled));
    for (int side : {16, 22, 24, 32, 44, 64, 128}) {
        SCOPED_TRACE(side);
        for (const QImage& image : {iconImage(outline, side), iconImage(filled, side)}) {
            ASSERT_EQ(image.size(), QSize(side, side));
            EXPECT_TRUE(drawnAt(image, 0.0));
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        }
        if (side >= 32) { // fewer pixels cannot tell the rings apart
            EXPECT_FALSE(drawnAt(iconImage(outline, side), 0.62) || drawnAt(iconImage(filled, side), 0.62));
            EXPECT_FALSE(drawnAt(iconImage(outline, side), 0.77));
            EXPECT_TRUE(drawnAt(iconImage(filled, side), 0.77));
            EXPECT_TRUE(drawnAt(iconImage(outline, side), 0.93) && drawnAt(iconImage(filled, side), 0.93));
        }
    }
    const QImage dense = renderSymbol(Symbol::recordCircle, QSize(22, 22), 2.0, Qt::black);
    EXPECT_EQ(dense.size(), QSize(44, 44));
    EXPECT_DOUBLE_EQ(dense.devicePixelRatio(), 2.0);
}

TEST(RecordIcon, DrawnInThePalettesTextColour) {
    const QPalette original = QApplication::palette();
    const QImage onDark = filledIconIn(QColor(0xf0, 0xf0, 0xf0));
    const QImage onLight = filledIconIn(QColor(0x10, 0x10, 0x10));
    QApplication::setPalette(original);
    EXPECT_EQ(QColor(onDark.pixel(16, 16)).rgb(), QColor(0xf0, 0xf0, 0xf0).rgb());
    EXPECT_EQ(QColor(onLight.pixel(16, 16)).rgb(), QColor(0x10, 0x10, 0x10).rgb());
}

TEST(TrayIcon, FilledOnlyWhileBufferingAndRedrawnForANewTheme) {
    const std::unique_ptr<RecordingManager> owner = test::SyntheticRecorder().makeManager();
    RecordingManager& manager = *owner;
    QMenu menu;
    TrayIcon tray(manager, &menu);
    EXPECT_EQ(tray.systemTrayIcon().toolTip(), QStringLiteral("Backreel"));
    EXPECT_EQ(tray.systemTrayIcon().contextMenu(), &menu);
    for (const RecordingStatus& status :
         {RecordingStatus::idle(), RecordingStatus::buffering(), RecordingStatus::saving(),
          RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))),
          RecordingStatus::error(QStringLiteral("x"))}) {
        manager.setStatus(status);
        EXPECT_EQ(drawnAt(iconImage(tray.systemTrayIcon().icon(), 32), 0.77),
                  status.is(RecordingStatus::Kind::buffering));
    }
    // The icon is set again so the tray draws it in the new colour.
    const qint64 before = tray.systemTrayIcon().icon().cacheKey();
    const QPalette original = QApplication::palette();
    filledIconIn(QColor(0xff, 0xff, 0xff));
    EXPECT_NE(tray.systemTrayIcon().icon().cacheKey(), before);
    QApplication::setPalette(original);
}
