#pragma once

// What the portal backends' tests share: the test portal's controls (tests/support/portal), the
// desktop's dialog answered on the main thread, and a collector of a stream's frames.

#include "core/dispatch/SerialQueue.h"
#include "platform/portal/PortalCaptureService.h"
#include "platform/portal/PortalCaptureStream.h"
#include "support/ChildProcess.h"
#include "support/StreamStops.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusReply>

namespace backreel::test {

using namespace std::chrono_literals;

// The synthetic nodes scripts/virtual-desktop --portal offers, and the colours of the first one's
// seven bars (white, yellow, cyan, green, magenta, red, blue).
inline const QString kMonitorNode = QStringLiteral("backreel-monitor");
inline const QString kWindowNode = QStringLiteral("backreel-window");
inline constexpr std::uint32_t kBars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                                          0xFF00FF, 0xFF0000, 0x0000FF};

// The middle of bar i of a bars picture of the given width, where each bar spans width/7.
inline int barCentre(int bar, int width) {
    return (2 * bar + 1) * width / 14;
}

// Whether two 0xRRGGBB colours are the same but for the conversions' rounding.
inline bool similarColour(std::uint32_t a, std::uint32_t b, int tolerance = 24) {
    for (unsigned shift = 0; shift < 24; shift += 8) {
        const int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(difference) > tolerance) {
            return false;
        }
    }
    return true;
}

// Like waitUntil, with the main thread's events handled meanwhile (D-Bus signals come there).
inline bool waitWithEvents(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s) {
    return waitUntil(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            return condition();
        },
        timeout);
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
    void resizeSource(const QString& node, int width, int height) {
        control_.call(QStringLiteral("ResizeSource"), node, width, height);
    }
    // Presses the shortcut in every session that bound it; how many sessions that was.
    unsigned activate(const QString& shortcutId) {
        const QDBusReply<uint> reply = control_.call(QStringLiteral("Activate"), shortcutId);
        return reply.isValid() ? reply.value() : 0;
    }
    // The shortcuts of the open sessions: id and preferred trigger ("" for none).
    std::vector<std::pair<QString, QString>> boundShortcuts() {
        const QDBusMessage reply = control_.call(QStringLiteral("BoundShortcuts"));
        std::vector<std::pair<QString, QString>> bound;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return bound;
        }
        const auto argument = reply.arguments().constFirst().value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            std::pair<QString, QString> entry;
            argument.beginStructure();
            argument >> entry.first >> entry.second;
            argument.endStructure();
            bound.push_back(std::move(entry));
        }
        argument.endArray();
        std::ranges::sort(bound);
        return bound;
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

// Keeps the newest picture and counts the frames with and without one.
class FrameCollector final : public StreamOutput {
public:
    void didOutputVideoFrame(CaptureStream&, const VideoFrame& frame) override {
        std::lock_guard lock(mutex_);
        if (frame.image) {
            latest_ = frame;
            ++pictures_;
        }
        times_.push_back(frame.presentationTime);
    }
    void didOutputAudio(CaptureStream&, const AudioView&) override {}

    std::optional<VideoFrame> latest() const {
        std::lock_guard lock(mutex_);
        return latest_;
    }
    int pictures() const {
        std::lock_guard lock(mutex_);
        return pictures_;
    }
    std::vector<MediaTime> times() const {
        std::lock_guard lock(mutex_);
        return times_;
    }
    // 0xRRGGBB of a pixel of the newest picture; none before the first.
    std::optional<std::uint32_t> colourAt(int x, int y) const {
        const std::optional<VideoFrame> frame = latest();
        if (!frame) {
            return std::nullopt;
        }
        std::uint32_t bgra = 0; // a little-endian word: 0xAARRGGBB
        const auto row = static_cast<std::size_t>(y) * frame->image->bytesPerRow();
        std::memcpy(&bgra, frame->image->baseAddress() + row + static_cast<std::size_t>(x) * 4, 4);
        return bgra & 0xFFFFFF;
    }
    bool waitForColour(int x, int y, std::uint32_t colour) const {
        return waitUntil([&] {
            const std::optional<std::uint32_t> seen = colourAt(x, y);
            return seen && similarColour(*seen, colour);
        });
    }

private:
    mutable std::mutex mutex_;
    std::optional<VideoFrame> latest_;
    int pictures_ = 0;
    std::vector<MediaTime> times_;
};

// The fixture of every test on the portal: skips without the test portal, resets its answers, and
// is the delegate of the streams it starts.
class PortalTest : public ::testing::Test, public StreamStops {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // libpipewire is not built with ThreadSanitizer: what its thread loop's lock hands over
        // between our threads is invisible to it, so every picture would show as a race. The
        // plain and ASan builds run these tests.
        GTEST_SKIP() << "not under ThreadSanitizer";
#endif
        if (!portal_.available()) {
            GTEST_SKIP() << "no test portal; run under scripts/virtual-desktop --portal";
        }
        portal_.setNextAnswer(QStringLiteral("choose"));
        portal_.setRefuseRestore(false);
    }

    // What the desktop's dialog answers for a kind of content.
    Expected<ShareableContent> choose(ContentKind kind) {
        const auto answer =
            std::make_shared<std::pair<std::mutex, std::optional<Expected<ShareableContent>>>>();
        service_->chooseContent(kind, [answer](Expected<ShareableContent> content) {
            std::lock_guard lock(answer->first);
            answer->second = std::move(content);
        });
        std::optional<Expected<ShareableContent>> chosen;
        waitWithEvents(
            [&] {
                std::lock_guard lock(answer->first);
                return (chosen = answer->second).has_value();
            },
            20s);
        return chosen.value_or(Error::backreel(0, QStringLiteral("no answer")));
    }

    // A started stream of the chosen content whose frames go to collector_; null when it failed.
    std::shared_ptr<PortalCaptureStream> start(const ContentFilter& filter, std::int32_t width,
                                               std::int32_t height, std::optional<QRectF> sourceRect = {}) {
        const StreamConfiguration configuration{.width = width,
                                                .height = height,
                                                .minimumFrameInterval = MediaTime(1, 30),
                                                .sourceRect = sourceRect};
        auto stream = std::dynamic_pointer_cast<PortalCaptureStream>(
            service_->createStream(filter, configuration, this));
        EXPECT_TRUE(stream);
        if (!stream) {
            return nullptr;
        }
        collector_ = std::make_shared<FrameCollector>();
        EXPECT_FALSE(stream->addStreamOutput(collector_, StreamOutputType::screen, queue_));
        MaybeError failure = Error::backreel(0, QStringLiteral("no completion"));
        stream->startCapture([&](MaybeError error) { failure = std::move(error); });
        EXPECT_FALSE(failure) << failure->description.toStdString();
        return failure ? nullptr : stream;
    }
    static void stop(CaptureStream& stream) {
        stream.stopCapture([](MaybeError) {});
    }

    TestPortal portal_;
    std::shared_ptr<PortalCaptureService> service_ = std::make_shared<PortalCaptureService>(nullptr);
    std::shared_ptr<FrameCollector> collector_;
    SerialQueue queue_{"portal-test.capture"};
};

} // namespace backreel::test
