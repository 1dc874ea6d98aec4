#include "capture/StillPicture.h"

#include "core/dispatch/Completion.h"
#include "core/dispatch/SerialQueue.h"

#include <atomic>
#include <QTimer>

namespace backreel {

namespace {

const QString kNoPicture = QStringLiteral("The screen's stream sent no picture.");

// Answers with the stream's first picture, or with its end, once.
class FirstPicture final : public StreamOutput, public StreamDelegate {
public:
    explicit FirstPicture(std::function<void(Expected<QImage>)> answer)
        : answer_(std::move(answer)) {}

    void didOutputVideoFrame(CaptureStream& /*stream*/, const VideoFrame& frame) override {
        if (!frame.image || answered_.exchange(true)) {
            return;
        }
        const ImageBuffer& image = *frame.image;
        // BGRA in memory is a 0xAARRGGBB word; the copy outlives the stream's buffer.
        answer_(QImage(reinterpret_cast<const uchar*>(image.baseAddress()), image.width(), image.height(),
                       static_cast<qsizetype>(image.bytesPerRow()), QImage::Format_RGB32)
                    .copy());
    }
    void didOutputAudio(CaptureStream& /*stream*/, const AudioView& /*audio*/) override {}
    void streamDidStopWithError(CaptureStream& /*stream*/, const Error& error) override {
        if (!answered_.exchange(true)) {
            answer_(error);
        }
    }

private:
    const std::function<void(Expected<QImage>)> answer_;
    std::atomic<bool> answered_ = false;
};

} // namespace

QCoro::Task<Expected<QImage>> takeStillPicture(CaptureService& service, const Display& display,
                                               std::chrono::milliseconds deadline) {
    if (display.width <= 0 || display.height <= 0) {
        co_return Error::backreel(0, kNoPicture);
    }
    Completion<Expected<QImage>> first(Error::backreel(0, kNoPicture));
    // Declared before the stream: the delegate outlives it, and the queue lets the frames already
    // handed to it run before it goes.
    const auto receiver = std::make_shared<FirstPicture>(first.callback());
    const auto queue = std::make_unique<SerialQueue>("still-picture");
    StreamConfiguration configuration;
    configuration.width = display.width;
    configuration.height = display.height;
    configuration.minimumFrameInterval = MediaTime(1, 30);
    configuration.scalesToFit = true;
    std::shared_ptr<CaptureStream> stream =
        service.createStream(ContentFilter::display(display, {}, {}), configuration, receiver.get());
    if (!stream) {
        co_return Error::backreel(0, kNoPicture);
    }
    if (MaybeError failure = stream->addStreamOutput(receiver, StreamOutputType::screen, *queue)) {
        co_return *failure;
    }
    Completion<MaybeError> started(Error::backreel(0, kNoPicture));
    stream->startCapture(started.callback());
    QCoro::Task<MaybeError> starting = started.wait();
    if (const MaybeError failure = co_await starting) {
        co_return *failure;
    }
    QTimer::singleShot(deadline, [answer = first.callback()] { answer(Error::backreel(0, kNoPicture)); });
    QCoro::Task<Expected<QImage>> waiting = first.wait();
    Expected<QImage> picture = co_await waiting;

    Completion<MaybeError> stopped(std::nullopt);
    stream->stopCapture(stopped.callback());
    QCoro::Task<MaybeError> stopping = stopped.wait();
    co_await stopping;
    stream.reset();
    co_return picture;
}

} // namespace backreel
