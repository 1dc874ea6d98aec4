// Pictures of the main window and its status line in each status, then with a picked window and a
// region, for people to look at; docs/main-window.png is main-window-idle.png. On the synthetic
// platform, on the virtual desktop's X server:
//
//   cmake --build build --target backreel_screenshots
//   scripts/virtual-desktop build/tests/backreel_screenshots [FOLDER]    (default: ./screenshots)

#include "core/Settings.h"
#include "support/WidgetTest.h"
#include "ui/CaptureTargetSection.h"
#include "ui/ContentView.h"
#include "ui/RecordingStatusView.h"
#include "ui/TargetPicker.h"
#include "ui/ViewTransition.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

using namespace backreel;

namespace {

class NoPicker final : public TargetPicker {
public:
    QCoro::Task<> pickWindowTarget() override { co_return; }
    QCoro::Task<> selectRegionTarget() override { co_return; }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("strandloft"));
    QCoreApplication::setApplicationName(QStringLiteral("Backreel"));
    QApplication::setStyle(QStringLiteral("Fusion")); // the widget tests' look
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));
    // The user's own settings are left alone.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    if (!QDir().mkpath(folder.path())) {
        return 1;
    }
    Settings::setBoolValue(Settings::kAlwaysOnTopKey, false);
    setViewTransitionsEnabled(false);
    const test::SyntheticRecorder recorder; // one display, as most desktops have
    const std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    NoPicker picker;
    ContentView view(*manager, *recorder.settings, recorder.platform, picker,
                     std::make_unique<test::ManualTimer>());
    RecordingStatusView line(*manager, std::make_unique<test::ManualTimer>());
    line.setFixedWidth(RecordingStatusView::kDefaultWidth);
    line.setAutoFillBackground(true);
    view.show();
    line.show();
    if (!QTest::qWaitForWindowExposed(&view) || !QTest::qWaitForWindowExposed(&line) ||
        !QTest::qWaitFor([&] { return !manager->availableDisplays().empty(); }, 5000)) {
        return 1;
    }
    bool saved = true;
    // Lays out what the last change asked for, then takes the picture.
    const auto save = [&](QWidget& widget, const QString& name) {
        QCoreApplication::sendPostedEvents();
        saved = widget.grab().save(folder.filePath(name + QStringLiteral(".png"))) && saved;
    };

    const std::pair<const char*, RecordingStatus> scenes[] = {
        {"error", RecordingStatus::error(QStringLiteral(
                      "Cannot connect to the X display :1: the X server refused the connection."))},
        {"buffering", RecordingStatus::buffering()},
        {"saving", RecordingStatus::saving()},
        {"saved", RecordingStatus::saved(
                      QUrl::fromLocalFile(QStringLiteral("/home/me/Videos/loopvane-2024-05-01-101500.mp4")))},
        {"idle", RecordingStatus::idle()},
    };
    for (const auto& [name, status] : scenes) {
        manager->setStatus(status);
        line.adjustSize();
        save(view, QStringLiteral("main-window-%1").arg(QLatin1String(name)));
        save(line, QStringLiteral("status-%1").arg(QLatin1String(name)));
    }

    const backreel::Window notes{42,  QStringLiteral("Notes"), std::nullopt, QRectF(10, 10, 300, 200), 0,
                                 true};
    manager->setCaptureTarget(CaptureTarget::window(ContentFilter::window(notes)));
    manager->setSelectedWindowInfo(
        WindowPickInfo{QStringLiteral("Notes"), QStringLiteral("Notes"), notes.frame, 42, true});
    view.captureSection()->chooseCaptureMode(CaptureModeSelection::window);
    save(view, QStringLiteral("main-window-window-target"));
    manager->setCaptureTarget(
        CaptureTarget::region(QRectF(100, 100, 1280.9, 720.2), manager->availableDisplays()[0]));
    view.captureSection()->chooseCaptureMode(CaptureModeSelection::region);
    save(view, QStringLiteral("main-window-region-target"));
    return saved ? 0 : 1;
}
