#include "platform/ffmpeg/FfmpegFrameDecoder.h"
#include "support/FfmpegTestMedia.h"
#include "ui/ReviewPictures.h"

#include <QSignalSpy>
#include <QTest>

using namespace backreel;

// The picture as decoding every packet from the first would give it.
static QImage decodedInOrder(const std::vector<VideoPacket>& packets, std::size_t index) {
    auto decoder = FfmpegFrameDecoder::create(*packets.front().format);
    ImageBufferPtr picture;
    for (std::size_t i = 0; i <= index; ++i) {
        picture = decoder->decode(packets[i]).value();
    }
    return QImage(reinterpret_cast<const uchar*>(picture->baseAddress()), picture->width(), picture->height(),
                  static_cast<qsizetype>(picture->bytesPerRow()), QImage::Format_RGB32)
        .copy();
}

// Thumbnails and pictures come from the decoding thread: a picture decoded from the key frame before
// it, or on from the one shown last, is the picture decoding from the start gives; a request that
// has not begun gives way to a newer one.
TEST(ReviewPictures, DecodesFromTheKeyFrameBeforeOnItsOwnThread) {
    const test::EncodedVideo video = test::encodeVideo(VideoCodec::h264, 320, 180, 45); // key frames 0, 15, 30
    ASSERT_EQ(video.packets.size(), 45U);
    ReviewPictures pictures(video.packets, std::make_shared<FfmpegPictureDecoderService>());
    QSignalSpy thumbnails(&pictures, &ReviewPictures::thumbnailReady);
    QSignalSpy shown(&pictures, &ReviewPictures::pictureReady);
    pictures.requestThumbnails({0, 15, 30}, QSize(64, 36));
    ASSERT_TRUE(QTest::qWaitFor([&] { return thumbnails.size() == 3; }, 5000));
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(thumbnails[slot][0].toInt(), slot);
        EXPECT_EQ(thumbnails[slot][1].value<QImage>().size(), QSize(64, 36));
    }
    for (const std::size_t index : {20U, 21U, 44U, 3U}) {
        pictures.requestPicture(index, QSize(320, 180));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.empty() && shown.back()[0].value<std::size_t>() == index; }, 5000));
        EXPECT_EQ(shown.back()[1].value<QImage>(), decodedInOrder(video.packets, index)) << index;
    }
    shown.clear();
    pictures.requestPicture(44, QSize(160, 90));
    pictures.requestPicture(10, QSize(160, 90));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.empty() && shown.back()[0].value<std::size_t>() == 10; }, 5000));
    EXPECT_EQ(shown.back()[1].value<QImage>().size(), QSize(160, 90));

    ReviewPictures none(video.packets, nullptr);
    QSignalSpy failed(&none, &ReviewPictures::failed);
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed.size() == 1; }, 5000));
}
