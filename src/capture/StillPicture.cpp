#include "capture/StillPicture.h"

#include "core/dispatch/Completion.h"

#include <atomic>
#include <QTimer>

namespace backreel {

namespace {

const QString kNoPicture = QStringLiteral("The screen's stream sent no picture.");

// Answers with the source's first picture, once.
class FirstPicture final : public FrameSink {
public:
    explicit FirstPicture(std::function<void(Expected<QImage, CaptureError>)> answer)
        : answer_(std::move(answer)) {}

    void takeFrame(const VideoFrame& frame) override {
        if (!frame.image || answered_.exchange(true)) {
            return;
        }
        const ImageBuffer& image = *frame.image;
        // BGRA in memory is a 0xAARRGGBB word; the copy outlives the source's buffer.
        answer_(QImage(reinterpret_cast<const uchar*>(image.baseAddress()), image.width(), image.height(),
                       static_cast<qsizetype>(image.bytesPerRow()), QImage::Format_RGB32)
                    .copy());
    }

private:
    const std::function<void(Expected<QImage, CaptureError>)> answer_;
    std::atomic<bool> answered_ = false;
};

} // namespace

QCoro::Task<Expected<QImage, CaptureError>> takeStillPicture(CaptureService& service, const Display& display,
                                                             std::chrono::milliseconds deadline) {
    if (display.width <= 0 || display.height <= 0) {
        co_return CaptureError::failed(kNoPicture);
    }
    Completion<Expected<QImage, CaptureError>> first(CaptureError::failed(kNoPicture));
    FirstPicture receiver(first.callback());
    VideoSourceSettings settings;
    settings.width = display.width;
    settings.height = display.height;
    settings.scalesToFit = true;
    std::unique_ptr<VideoSource> source = service.makeVideoSource(ContentFilter::display(display, {}, {}), settings);
    if (!source) {
        co_return CaptureError::failed(kNoPicture);
    }
    QObject::connect(source.get(), &VideoSource::ended,
                     [answer = first.callback()](const CaptureError& reason) { answer(reason); });
    if (std::optional<CaptureError> failure = co_await source->start(receiver)) {
        co_return *failure;
    }
    QTimer::singleShot(deadline, source.get(),
                       [answer = first.callback()] { answer(CaptureError::failed(kNoPicture)); });
    QCoro::Task<Expected<QImage, CaptureError>> waiting = first.wait();
    Expected<QImage, CaptureError> picture = co_await waiting;
    // After this, the receiver is not called any more.
    source->stop();
    source.reset();
    co_return picture;
}

} // namespace backreel
