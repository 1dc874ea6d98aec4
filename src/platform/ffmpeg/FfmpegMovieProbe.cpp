#include "platform/ffmpeg/FfmpegMovieProbe.h"

#include "platform/ffmpeg/FfmpegError.h"

#include <QFile>

namespace backreel {

namespace {

// A container tag that reads as four characters; FFmpeg also keeps numeric tags (WAVE format
// numbers) in codec_tag, which are not.
bool isPrintableTag(std::uint32_t tag) {
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t character = (tag >> shift) & 0xFF;
        if (character < 0x20 || character > 0x7E) {
            return false;
        }
    }
    return true;
}

} // namespace

FourCC audioFormatOf(int codecId, std::uint32_t codecTag) {
    const auto id = static_cast<AVCodecID>(codecId);
    switch (id) {
    case AV_CODEC_ID_AAC:
        return codec::aac;
    case AV_CODEC_ID_MP3:
        return FourCC(".mp3"); // MP4 tags it "mp4a" like AAC; the subtype tells them apart
    default:
        break;
    }
    if (isPrintableTag(codecTag)) {
        // FFmpeg keeps the tag's first character in the lowest byte; ours leads with it.
        return FourCC((codecTag & 0xFF) << 24 | (codecTag & 0xFF00) << 8 | (codecTag & 0xFF0000) >> 8 |
                      (codecTag & 0xFF000000) >> 24);
    }
    switch (id) {
    case AV_CODEC_ID_AC3:
        return FourCC("ac-3");
    case AV_CODEC_ID_EAC3:
        return FourCC("ec-3");
    case AV_CODEC_ID_ALAC:
        return FourCC("alac");
    case AV_CODEC_ID_FLAC:
        return FourCC("fLaC");
    case AV_CODEC_ID_OPUS:
        return FourCC("opus");
    default:
        break;
    }
    if (id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT) {
        return codec::linearPCM; // FFmpeg numbers the PCM variants first among the audio codecs
    }
    return FourCC("????");
}

Expected<MovieInfo> FfmpegMovieProbe::probe(const QString& path) {
    const QByteArray url = "file:" + QFile::encodeName(path);
    AVFormatContext* raw = nullptr;
    // On failure avformat_open_input frees the context itself and leaves raw null.
    const int opened = avformat_open_input(&raw, url.constData(), nullptr, nullptr);
    AVInputContextPtr context(raw);
    if (opened < 0) {
        return ffmpegError(opened);
    }
    if (const int found = avformat_find_stream_info(context.get(), nullptr); found < 0) {
        return ffmpegError(found);
    }
    MovieInfo info;
    for (unsigned index = 0; index < context->nb_streams; ++index) {
        const AVCodecParameters& parameters = *context->streams[index]->codecpar;
        if (parameters.codec_type == AVMEDIA_TYPE_VIDEO) {
            ++info.videoTrackCount;
        } else if (parameters.codec_type == AVMEDIA_TYPE_AUDIO) {
            ++info.audioTrackCount;
            info.audioFormats.push_back(audioFormatOf(parameters.codec_id, parameters.codec_tag));
            // The handler's name is what MP4 keeps of a track's title where the reader knows no other.
            const AVDictionary* tags = context->streams[index]->metadata;
            const AVDictionaryEntry* title = av_dict_get(tags, "title", nullptr, 0);
            if (title == nullptr) {
                title = av_dict_get(tags, "handler_name", nullptr, 0);
            }
            info.audioTitles.push_back(title != nullptr ? QString::fromUtf8(title->value) : QString());
        }
    }
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0) {
        info.durationSeconds = static_cast<double>(context->duration) / AV_TIME_BASE;
    }
    return info;
}

} // namespace backreel
