#include "platform/ffmpeg/FfmpegAssetWriterService.h"

#include "platform/ffmpeg/FfmpegAssetWriter.h"
#include "platform/ffmpeg/FfmpegAssetWriterMuxer.h"
#include "platform/ffmpeg/FfmpegError.h"

#include <QFile>

namespace backreel {

namespace {

Error creationError(int code, const QString& path) {
    Error error = ffmpegError(code);
    error.description = QStringLiteral("%1 (%2)").arg(error.description, path);
    return error;
}

} // namespace

Expected<std::shared_ptr<AssetWriter>> FfmpegAssetWriterService::createWriter(const QString& path, FileType) {
    // The "file:" prefix keeps a colon in the name from being read as a protocol.
    const QByteArray url = "file:" + QFile::encodeName(path);
    AVFormatContext* raw = nullptr;
    const int allocated = avformat_alloc_output_context2(&raw, nullptr, "mp4", url.constData());
    AVOutputContextPtr context(raw);
    if (allocated < 0) {
        return creationError(allocated, path);
    }
    if (const int opened = avio_open(&context->pb, url.constData(), AVIO_FLAG_WRITE); opened < 0) {
        return creationError(opened, path);
    }
    auto muxer = std::make_shared<FfmpegAssetWriterMuxer>(std::move(context));
    return std::shared_ptr<AssetWriter>(std::make_shared<FfmpegAssetWriter>(std::move(muxer)));
}

} // namespace backreel
