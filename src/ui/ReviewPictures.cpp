#include "ui/ReviewPictures.h"

#include "export/ReviewRules.h"

#include <pthread.h>

namespace backreel {

namespace {
// The decoded picture, scaled to fit `size`, as an image of its own.
QImage scaledCopy(const ImageBuffer& picture, QSize size) {
    const QImage wrapped(reinterpret_cast<const uchar*>(picture.baseAddress()), picture.width(), picture.height(),
                         static_cast<qsizetype>(picture.bytesPerRow()), QImage::Format_RGB32);
    if (!size.isValid() || size == wrapped.size()) {
        return wrapped.copy();
    }
    return wrapped.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

const QString kNoDecoder = QStringLiteral("The recorded pictures cannot be shown: there is no decoder for them.");
} // namespace

ReviewPictures::ReviewPictures(std::vector<VideoPacket> video, std::shared_ptr<PictureDecoderService> decoders,
                               QObject* parent)
    : QObject(parent)
    , video_(std::move(video))
    , decoders_(std::move(decoders)) {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "Review pictures");
        run();
    });
}

ReviewPictures::~ReviewPictures() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void ReviewPictures::requestThumbnails(const std::vector<std::size_t>& pictures, QSize size) {
    {
        const std::lock_guard lock(mutex_);
        thumbnails_.clear();
        for (std::size_t slot = 0; slot < pictures.size(); ++slot) {
            thumbnails_.emplace_back(static_cast<int>(slot), pictures[slot]);
        }
        thumbnailSize_ = size;
    }
    wake_.notify_one();
}

void ReviewPictures::requestPicture(std::size_t index, QSize size) {
    {
        const std::lock_guard lock(mutex_);
        picture_ = std::make_pair(index, size);
    }
    wake_.notify_one();
}

void ReviewPictures::run() {
    if (!decoders_ || video_.empty() || !video_.front().format) {
        post({Result::Kind::failure, 0, {}, kNoDecoder});
        return;
    }
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || picture_ || !thumbnails_.empty(); });
        if (stopping_) {
            return;
        }
        QString failure;
        Result result{Result::Kind::picture, 0, {}, {}};
        if (picture_) {
            const auto [index, size] = *picture_;
            picture_.reset();
            lock.unlock();
            result = {Result::Kind::picture, index, decodePicture(index, size, failure), {}};
        } else {
            const auto [slot, index] = thumbnails_.front();
            thumbnails_.pop_front();
            const QSize size = thumbnailSize_;
            lock.unlock();
            result = {Result::Kind::thumbnail, static_cast<std::size_t>(slot), decodeThumbnail(index, size, failure), {}};
        }
        post(result.image.isNull() ? Result{Result::Kind::failure, 0, {}, failure} : std::move(result));
        lock.lock();
    }
}

QImage ReviewPictures::decodePicture(std::size_t index, QSize size, QString& failure) {
    const std::size_t key = keyFrameAtOrBefore(video_, index);
    // On from the last picture decoded when the asked one follows it within its key frame's
    // run (as while playing); else from the key frame.
    std::size_t from = key;
    if (pictureDecoder_ && decodedUpTo_ && *decodedUpTo_ >= key && *decodedUpTo_ < index) {
        from = *decodedUpTo_ + 1;
    } else if (!pictureDecoder_) {
        pictureDecoder_ = decoders_->create(*video_.front().format);
    }
    if (!pictureDecoder_) {
        failure = kNoDecoder;
        return {};
    }
    ImageBufferPtr decoded;
    for (std::size_t i = from; i <= index && i < video_.size(); ++i) {
        Expected<ImageBufferPtr> picture = pictureDecoder_->decode(video_[i], i == index);
        if (!picture) {
            // A decoder that failed starts afresh at the next request.
            pictureDecoder_.reset();
            decodedUpTo_.reset();
            failure = QStringLiteral("A recorded picture cannot be shown: %1").arg(picture.error().description);
            return {};
        }
        decoded = picture.value();
        decodedUpTo_ = i;
    }
    if (!decoded) {
        failure = QStringLiteral("A recorded picture cannot be shown: the decoder gave none.");
        return {};
    }
    return scaledCopy(*decoded, size);
}

QImage ReviewPictures::decodeThumbnail(std::size_t index, QSize size, QString& failure) {
    if (!thumbnailDecoder_) {
        thumbnailDecoder_ = decoders_->create(*video_.front().format);
    }
    if (!thumbnailDecoder_ || index >= video_.size()) {
        failure = kNoDecoder;
        return {};
    }
    Expected<ImageBufferPtr> picture = thumbnailDecoder_->decode(video_[index], true);
    if (!picture || !picture.value()) {
        thumbnailDecoder_.reset();
        failure = QStringLiteral("A thumbnail cannot be shown: %1")
                      .arg(picture ? QStringLiteral("the decoder gave none.") : picture.error().description);
        return {};
    }
    return scaledCopy(*picture.value(), size);
}

void ReviewPictures::post(Result result) {
    {
        const std::lock_guard lock(mutex_);
        results_.push_back(std::move(result));
    }
    QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void ReviewPictures::deliver() {
    std::vector<Result> results;
    {
        const std::lock_guard lock(mutex_);
        results.swap(results_);
    }
    for (Result& result : results) {
        switch (result.kind) {
        case Result::Kind::thumbnail:
            emit thumbnailReady(static_cast<int>(result.index), result.image);
            break;
        case Result::Kind::picture:
            emit pictureReady(result.index, result.image);
            break;
        case Result::Kind::failure:
            emit failed(result.message);
            break;
        }
    }
}

} // namespace backreel
