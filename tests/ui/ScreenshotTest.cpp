#include "core/Settings.h"
#include "support/WidgetTest.h"
#include "ui/CaptureTargetSection.h"
#include "ui/ContentView.h"
#include "ui/RecordingStatusView.h"
#include "ui/SystemColors.h"
#include "ui/TargetPicker.h"
#include "ui/ViewTransition.h"

#include <QDir>
#include <span>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

class NoPicker final : public TargetPicker {
public:
    QCoro::Task<> pickWindowTarget() override { co_return; }
    QCoro::Task<> selectRegionTarget() override { co_return; }
};

// Lays out what the last change asked for, then takes the picture and saves it for people to look at.
QImage save(QWidget& widget, const QString& name) {
    QCoreApplication::sendPostedEvents();
    const QImage picture = widget.grab().toImage();
    const QString path = QStringLiteral(BACKREEL_BUILD_DIR "/screenshots/%1.png").arg(name);
    EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()) && picture.save(path)) << path.toStdString();
    return picture;
}

bool shows(const QImage& picture, const QColor& colour) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    const std::span pixels(reinterpret_cast<const QRgb*>(argb.constBits()),
                           static_cast<std::size_t>(argb.sizeInBytes()) / 4);
    return std::ranges::find(pixels, colour.rgba()) != pixels.end();
}

} // namespace

// The main window and its status line in each status, then with a picked window and a region, as
// PNG files under <build>/screenshots: each its own picture, the green and red marks where they belong.
TEST(Screenshot, MainWindowAndStatusLine) {
    BACKREEL_REQUIRE_DISPLAY();
    Settings::setBoolValue(Settings::kAlwaysOnTopKey, false);
    setViewTransitionsEnabled(false);
    const test::SyntheticRecorder recorder({test::display(1), test::display(2)});
    const std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    NoPicker picker;
    ContentView view(*manager, *recorder.settings, recorder.platform, picker,
                     std::make_unique<test::ManualTimer>());
    RecordingStatusView line(*manager, std::make_unique<test::ManualTimer>());
    line.setFixedWidth(RecordingStatusView::kDefaultWidth);
    line.setAutoFillBackground(true);
    view.show();
    line.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view) && QTest::qWaitForWindowExposed(&line));
    BACKREEL_EVENTUALLY_EQ(manager->availableDisplays().size(), 2u);
    const QColor green = system_colors::green(line.palette());
    const QColor red = system_colors::red(line.palette());

    const std::pair<const char*, RecordingStatus> scenes[] = {
        {"error", RecordingStatus::error(QStringLiteral(
                      "Cannot connect to the X display :1: the X server refused the connection."))},
        {"buffering", RecordingStatus::buffering()},
        {"saving", RecordingStatus::saving()},
        {"saved", RecordingStatus::saved(
                      QUrl::fromLocalFile(QStringLiteral("/home/me/Videos/loopvane-2024-05-01-101500.mp4")))},
        {"idle", RecordingStatus::idle()},
    };
    std::vector<QImage> windows;
    for (const auto& [name, status] : scenes) {
        SCOPED_TRACE(name);
        manager->setStatus(status);
        line.adjustSize();
        windows.push_back(save(view, QStringLiteral("main-window-%1").arg(QLatin1String(name))));
        const QImage picture = save(line, QStringLiteral("status-%1").arg(QLatin1String(name)));
        // Green for ready and saved, red while recording and for an error.
        EXPECT_EQ(shows(picture, green), status.is(Kind::idle) || status.is(Kind::saved));
        EXPECT_EQ(shows(picture, red), status.is(Kind::buffering) || status.is(Kind::error));
        EXPECT_EQ(shows(windows.back(), red), shows(picture, red));
    }
    // The panel's rounded corners are cut out of the picture.
    EXPECT_EQ(qAlpha(windows.front().pixel(0, 0)), 0);

    const backreel::Window notes{42,  QStringLiteral("Notes"), std::nullopt, QRectF(10, 10, 300, 200), 0,
                                 true};
    manager->setCaptureTarget(CaptureTarget::window(ContentFilter::window(notes)));
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("Notes"), notes.frame, 42, true});
    view.captureSection()->chooseCaptureMode(CaptureModeSelection::window);
    windows.push_back(save(view, QStringLiteral("main-window-window-target")));
    manager->setCaptureTarget(
        CaptureTarget::region(QRectF(100, 100, 1280.9, 720.2), manager->availableDisplays()[0]));
    view.captureSection()->chooseCaptureMode(CaptureModeSelection::region);
    windows.push_back(save(view, QStringLiteral("main-window-region-target")));
    for (std::size_t i = 0; i < windows.size(); ++i) {
        for (std::size_t j = i + 1; j < windows.size(); ++j) {
            EXPECT_NE(windows[i], windows[j]) << i << " and " << j;
        }
    }
    setViewTransitionsEnabled(true);
}
