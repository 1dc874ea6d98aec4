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

// Whether the pixel at `fraction` of the radius right of the centre is drawn; a crisp icon has no
// half-drawn pixels there.
bool drawnAt(const QImage& image, double fraction) {
    const int alpha =
        qAlpha(image.pixel(static_cast<int>(image.width() / 2.0 * (1 + fraction)), image.height() / 2));
    EXPECT_TRUE(alpha > 200 || alpha < 50) << "half drawn at " << fraction;
    return alpha > 200;
}

} // namespace

// Drawn for the pixels asked for, not scaled from another size: both have the middle dot and
// nothing outside the circle; the disc is solid from a little further out, the ring only at its rim.
TEST(RecordIcon, CrispAtTraySizesWithARingOrADisc) {
    for (const int side : {22, 44}) {
        SCOPED_TRACE(side);
        const QImage outline = iconImage(QIcon(new RecordIconEngine(Style::outline)), side);
        const QImage filled = iconImage(QIcon(new RecordIconEngine(Style::filled)), side);
        for (const QImage& image : {outline, filled}) {
            ASSERT_EQ(image.size(), QSize(side, side));
            EXPECT_TRUE(drawnAt(image, 0.0) && qAlpha(image.pixel(0, 0)) == 0);
            EXPECT_FALSE(side > 32 && drawnAt(image, 0.62));
            EXPECT_TRUE(side < 32 || drawnAt(image, 0.93));
        }
        EXPECT_TRUE(side < 32 || (!drawnAt(outline, 0.77) && drawnAt(filled, 0.77)));
    }
    const QImage dense = renderSymbol(Symbol::recordCircle, QSize(22, 22), 2.0, Qt::black);
    EXPECT_TRUE(dense.size() == QSize(44, 44) && dense.devicePixelRatio() == 2.0);
}

// Filled only while buffering, in the palette's text colour, and set again when the palette changes
// so that the tray draws it anew.
TEST(TrayIcon, FilledOnlyWhileBufferingAndRedrawnForANewTheme) {
    const std::unique_ptr<RecordingManager> manager = test::SyntheticRecorder().makeManager();
    QMenu menu;
    TrayIcon tray(*manager, &menu);
    EXPECT_EQ(tray.systemTrayIcon().toolTip(), QStringLiteral("Backreel"));
    EXPECT_EQ(tray.systemTrayIcon().contextMenu(), &menu);
    for (const RecordingStatus& status :
         {RecordingStatus::idle(), RecordingStatus::buffering(), RecordingStatus::saving(),
          RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))),
          RecordingStatus::error({})}) {
        manager->setStatus(status);
        EXPECT_EQ(drawnAt(iconImage(tray.systemTrayIcon().icon(), 44), 0.77),
                  status.is(RecordingStatus::Kind::buffering));
    }
    const qint64 before = tray.systemTrayIcon().icon().cacheKey();
    const QPalette original = QApplication::palette();
    QPalette light = original;
    light.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
    QApplication::setPalette(light);
    EXPECT_NE(tray.systemTrayIcon().icon().cacheKey(), before);
    EXPECT_EQ(QColor(iconImage(tray.systemTrayIcon().icon(), 32).pixel(16, 16)), QColor(0xf0, 0xf0, 0xf0));
    QApplication::setPalette(original);
}
