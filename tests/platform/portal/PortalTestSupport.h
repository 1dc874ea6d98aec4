#pragma once

// What the portal's tests share: the test portal's controls (scripts/desktop) and the fixture.

#include "platform/portal/PortalCaptureService.h"
#include "platform/portal/PortalVideoSource.h"
#include "support/FrameCollector.h"
#include "support/WidgetTest.h"

#include <QDBusInterface>
#include <QDBusReply>

namespace backreel::test {

using namespace std::chrono_literals;

// The synthetic nodes of scripts/virtual-desktop --portal, and the colours of the first one's bars.
inline const QString kMonitorNode = QStringLiteral("backreel-monitor");
// A node no other test uses: one test takes it out of PipeWire.
inline const QString kVanishingNode = QStringLiteral("backreel-monitor-1080");
inline constexpr std::uint32_t kBars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                                          0xFF00FF, 0xFF0000, 0x0000FF};
// How far a colour may stray through the conversions from the node's BGRx to our BGRA.
inline constexpr int kTolerance = 24;

// The middle of bar i of a bars picture of the given width, where each bar spans width/7.
inline int barCentre(int bar, int width) {
    return (2 * bar + 1) * width / 14;
}

// The test portal backend's controls.
class TestPortal {
public:
    bool available() const { return control_.isValid(); }
    void setNextAnswer(const QString& answer) { control_.call(QStringLiteral("SetNextAnswer"), answer); }
    void setRefuseRestore(bool refuse) { control_.call(QStringLiteral("SetRefuseRestore"), refuse); }
    void choose(const QString& kind, const QString& node) {
        control_.call(QStringLiteral("Choose"), kind, node);
    }
    void endSessions() { control_.call(QStringLiteral("EndSessions")); }
    void pauseSource(const QString& node, bool paused) {
        control_.call(QStringLiteral("PauseSource"), node, paused);
    }
    void removeSource(const QString& node) { control_.call(QStringLiteral("RemoveSource"), node); }
    void resizeSource(const QString& node, int width, int height) {
        control_.call(QStringLiteral("ResizeSource"), node, width, height);
    }
    // Presses the shortcut in every session that bound it; how many sessions that was.
    unsigned activate(const QString& shortcutId) {
        const QDBusReply<uint> reply = control_.call(QStringLiteral("Activate"), shortcutId);
        return reply.isValid() ? reply.value() : 0;
    }
    // The shortcuts of the open sessions as "id=preferred trigger", sorted.
    QStringList boundShortcuts() {
        const QDBusReply<QStringList> reply = control_.call(QStringLiteral("BoundShortcuts"));
        return reply.isValid() ? reply.value() : QStringList{QStringLiteral("no answer")};
    }
    unsigned dialogsShown() {
        const QDBusReply<uint> reply = control_.call(QStringLiteral("DialogsShown"));
        return reply.isValid() ? reply.value() : 0;
    }

private:
    QDBusInterface control_{QStringLiteral("org.freedesktop.impl.portal.desktop.backreeltest"),
                            QStringLiteral("/org/backreel/TestPortal"),
                            QStringLiteral("org.backreel.TestPortal")};
};

// The fixture of every test on the portal: skips without the test portal and resets its answers.
class PortalTest : public SourceTest {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // libpipewire is not built with ThreadSanitizer: every picture would show as a race.
        GTEST_SKIP() << "not under ThreadSanitizer";
#endif
        if (!portal_.available()) {
            GTEST_SKIP() << "no test portal; run under scripts/virtual-desktop --portal";
        }
        portal_.setNextAnswer(QStringLiteral("choose"));
        portal_.setRefuseRestore(false);
        tolerance_ = kTolerance;
    }
    // What a test may leave behind, failed or not: a paused node, an overlay.
    void TearDown() override {
        portal_.pauseSource(kMonitorNode, false);
        closeOverlays();
    }

    Expected<ShareableContent, CaptureError> choose(ContentKind kind) {
        return await(service_->chooseContent(kind, 30));
    }
    using SourceTest::start;
    std::unique_ptr<PortalVideoSource> start(const ContentFilter& filter, std::int32_t width,
                                             std::int32_t height, std::optional<QRectF> sourceRect = {}) {
        return start(std::unique_ptr<PortalVideoSource>(dynamic_cast<PortalVideoSource*>(
            service_->makeVideoSource(filter, settings(width, height, sourceRect)).release())));
    }

    TestPortal portal_;
    std::shared_ptr<PortalCaptureService> service_ = std::make_shared<PortalCaptureService>();
};

} // namespace backreel::test
