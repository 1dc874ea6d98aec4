#pragma once

// Qt first: moc cannot read the standard library's <concepts> before Qt's own headers.
#include <QObject>

#include "platform/ReviewMedia.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <QImage>
#include <QSize>
#include <thread>
#include <vector>

namespace backreel {

// The review window's pictures, decoded from the snapshot's packets on a thread of its own
// ("Review pictures"), never on the main thread: thumbnails of key frames for the timeline, and the
// picture under the handle, decoded from the key frame at or before it (or on from the last one
// decoded, while playing). A newer request for the shown picture replaces one not yet begun, and
// goes before thumbnails. Results reach the main thread as queued signals.
//
// Thread contract: main thread, but for the decoding thread it owns.
class ReviewPictures final : public QObject {
    Q_OBJECT

public:
    // Without a decoder service no picture comes, and failed() says so once.
    ReviewPictures(std::vector<VideoPacket> video, std::shared_ptr<PictureDecoderService> decoders,
                   QObject* parent = nullptr);
    ~ReviewPictures() override;

    // Thumbnails of these pictures (key frames), scaled to fit `size`, in place of those asked for
    // before; each comes as thumbnailReady(slot, …) with its place in the list.
    void requestThumbnails(const std::vector<std::size_t>& pictures, QSize size);
    // The picture at `index`, scaled to fit `size`.
    void requestPicture(std::size_t index, QSize size);

signals:
    void thumbnailReady(int slot, const QImage& image);
    void pictureReady(std::size_t index, const QImage& image);
    void failed(const QString& message);

private:
    struct Result {
        enum class Kind { thumbnail, picture, failure } kind;
        std::size_t index;
        QImage image;
        QString message;
    };

    void run();
    // Decodes up to `index` with the playing decoder; a null image when it failed.
    QImage decodePicture(std::size_t index, QSize size, QString& failure);
    QImage decodeThumbnail(std::size_t index, QSize size, QString& failure);
    void post(Result result);
    // The results, on the main thread, in the order they came.
    Q_INVOKABLE void deliver();

    const std::vector<VideoPacket> video_;
    const std::shared_ptr<PictureDecoderService> decoders_;
    // The decoding thread's own.
    std::unique_ptr<PictureDecoder> pictureDecoder_;
    std::unique_ptr<PictureDecoder> thumbnailDecoder_;
    std::optional<std::size_t> decodedUpTo_;

    // Handed between the threads under this mutex of ours: Qt's event queue locks with futexes
    // that a thread checker cannot see, so the queued call carries no data.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::optional<std::pair<std::size_t, QSize>> picture_;
    std::deque<std::pair<int, std::size_t>> thumbnails_;
    QSize thumbnailSize_;
    std::vector<Result> results_;
    std::thread thread_;
};

} // namespace backreel
