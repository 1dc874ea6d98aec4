#include "platform/ffmpeg/FfmpegCodecSetup.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace backreel {

namespace {

constexpr std::array<EncoderCandidate, 3> kHardwareHevcEncoders{{
    {"hevc_vaapi", EncoderBackend::vaapi},
    {"hevc_nvenc", EncoderBackend::nvenc},
    {"hevc_qsv", EncoderBackend::quickSync},
}};

constexpr std::array<EncoderCandidate, 3> kHardwareH264Encoders{{
    {"h264_vaapi", EncoderBackend::vaapi},
    {"h264_nvenc", EncoderBackend::nvenc},
    {"h264_qsv", EncoderBackend::quickSync},
}};

// The most frames per second the capture delivers. Encoders size the stream's level and libx264
// its per-frame bit budget from the frame rate; told only the 1/90000 time base, libx264 assumes
// 90000 frames per second and starves every frame down to a grey picture. With this rate libx264
// gives each frame a 30th of the average bit rate whatever the timestamps say (measured at
// 1280×720: 1.06, 1.98 and 3.75 Mbit/s for a 2 Mbit/s target at 15, 30 and 60 frames per
// second), so the stream stays at or under the average as long as the capture keeps to 30.
constexpr AVRational kNominalFrameRate{30, 1};

// What a constant quality adds to the preset (ultrafast turns both off): adaptive quantisation,
// which gives flat areas such as a page's background and the edges of text the bits they show,
// and CABAC, a tenth or more fewer bytes for the same picture, affordable at the rates a quality
// target leaves. Measured with the encode benchmark, this keeps a scrolling page as sharp as the
// fixed rate did in half the bytes.
constexpr const char* kQualityParams = "log=1:aq-mode=1:aq-strength=1.3:cabac=1";

// GPU surfaces in a VAAPI encoder's pool: enough for the encoder's reference frames, the frames
// it has in flight and the one being uploaded.
constexpr int kVaapiSurfacePoolSize = 20;

std::mutex& logLevelMutex() {
    static std::mutex instance;
    return instance;
}
int logLevelDepth = 0;           // under logLevelMutex()
int savedLogLevel = AV_LOG_INFO; // under logLevelMutex()

// The first DRM render node (/dev/dri/renderD128, ...), or an empty path when there is none.
std::filesystem::path firstRenderNode() {
    std::error_code error;
    std::vector<std::filesystem::path> nodes;
    for (std::filesystem::directory_iterator entry("/dev/dri", error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->path().filename().string().starts_with("renderD")) {
            nodes.push_back(entry->path());
        }
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes.empty() ? std::filesystem::path() : nodes.front();
}

// Sets an encoder option. Encoders of other FFmpeg builds may lack an option; that is not a reason
// to refuse the encoder, so only a rejected value counts as a failure.
int setOption(AVCodecContext& context, const char* name, const char* value) {
    const int result = av_opt_set(&context, name, value, AV_OPT_SEARCH_CHILDREN);
    return result == AVERROR_OPTION_NOT_FOUND ? 0 : result;
}

int setOptions(AVCodecContext& context, std::initializer_list<std::pair<const char*, const char*>> options) {
    for (const auto& [name, value] : options) {
        if (const int result = setOption(context, name, value); result < 0) {
            return result;
        }
    }
    return 0;
}

int clampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

// Creates the VAAPI device on the first render node and the surface pool frames are uploaded to.
int attachVaapiFrames(AVCodecContext& context, AVBufferRefPtr* hardwareFrames) {
    const std::filesystem::path renderNode = firstRenderNode();
    if (renderNode.empty()) {
        return AVERROR(ENODEV);
    }
    AVBufferRef* createdDevice = nullptr;
    int result =
        av_hwdevice_ctx_create(&createdDevice, AV_HWDEVICE_TYPE_VAAPI, renderNode.c_str(), nullptr, 0);
    AVBufferRefPtr device(createdDevice);
    if (result < 0) {
        return result;
    }
    AVBufferRefPtr frames(av_hwframe_ctx_alloc(device.get()));
    if (!frames) {
        return AVERROR(ENOMEM);
    }
    auto* framesContext = reinterpret_cast<AVHWFramesContext*>(frames->data);
    framesContext->format = AV_PIX_FMT_VAAPI;
    framesContext->sw_format = AV_PIX_FMT_NV12;
    framesContext->width = context.width;
    framesContext->height = context.height;
    framesContext->initial_pool_size = kVaapiSurfacePoolSize;
    result = av_hwframe_ctx_init(frames.get());
    if (result < 0) {
        return result;
    }
    context.hw_frames_ctx = av_buffer_ref(frames.get());
    if (context.hw_frames_ctx == nullptr) {
        return AVERROR(ENOMEM);
    }
    context.pix_fmt = AV_PIX_FMT_VAAPI;
    *hardwareFrames = std::move(frames);
    return 0;
}

// The options of each kind of encoder, all set for real time. Every one is asked for IDR frames
// when a frame is forced to be a key frame, since a clip can only start at an IDR frame.
int configureBackend(const EncoderCandidate& candidate, const VideoEncoderSettings& settings,
                     const std::string& softwarePreset, AVCodecContext& context,
                     AVBufferRefPtr* hardwareFrames) {
    const bool fullChroma = needsFullChroma(context.width, context.height);
    if (candidate.isHardware() && fullChroma) {
        return AVERROR(EINVAL);
    }
    const char* profile = fullChroma                                   ? "high444"
                          : settings.profile == VideoProfile::hevcMain ? "main"
                                                                       : "high";
    switch (candidate.backend) {
    case EncoderBackend::x264:
        context.pix_fmt = fullChroma ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
        if (settings.constantQuality > 0) {
            // The quality decides, the average rate is only the ceiling: a still editor or a page
            // of text takes a fraction of it.
            context.bit_rate = 0;
            const std::string quality = std::to_string(settings.constantQuality);
            if (const int result = setOption(context, "crf", quality.c_str()); result < 0) {
                return result;
            }
        }
        // zerolatency turns off lookahead and frame threading, so every frame comes back as soon
        // as it went in, which the encoder's short queue and the key-frame rhythm count on. The
        // x264 log level 1 keeps its warnings and errors but not the banner it prints at every
        // open and close.
        return setOptions(context,
                          {{"preset", softwarePreset.empty() ? "ultrafast" : softwarePreset.c_str()},
                           {"tune", "zerolatency"},
                           {"profile", profile},
                           {"forced-idr", "1"},
                           {"x264-params", settings.constantQuality > 0 ? kQualityParams : "log=1"}});
    case EncoderBackend::vaapi:
        if (const int result = setOption(context, "profile", profile); result < 0) {
            return result;
        }
        return attachVaapiFrames(context, hardwareFrames);
    case EncoderBackend::nvenc:
        context.pix_fmt = AV_PIX_FMT_NV12;
        return setOptions(context, {{"profile", profile},
                                    {"forced-idr", "1"},
                                    {"tune", "ll"},
                                    {"zerolatency", "1"},
                                    {"delay", "0"}});
    case EncoderBackend::quickSync:
        context.pix_fmt = AV_PIX_FMT_NV12;
        return setOptions(context, {{"profile", profile}, {"forced_idr", "1"}, {"async_depth", "1"}});
    }
    return AVERROR(EINVAL);
}

} // namespace

ScopedFfmpegLogLevel::ScopedFfmpegLogLevel(int maximumLevel) {
    std::lock_guard lock(logLevelMutex());
    if (logLevelDepth++ == 0) {
        savedLogLevel = av_log_get_level();
    }
    av_log_set_level(std::min(av_log_get_level(), maximumLevel));
}

ScopedFfmpegLogLevel::~ScopedFfmpegLogLevel() {
    std::lock_guard lock(logLevelMutex());
    if (--logLevelDepth == 0) {
        av_log_set_level(savedLogLevel);
    }
}

bool needsFullChroma(std::int32_t width, std::int32_t height) {
    return width % 2 != 0 || height % 2 != 0;
}

bool isEncodableSize(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0 || width > kMaxEncodedSide || height > kMaxEncodedSide) {
        return false;
    }
    // FFmpeg logs each size it refuses; the caller reports the refusal itself.
    const ScopedFfmpegLogLevel silence(AV_LOG_QUIET);
    return av_image_check_size(static_cast<unsigned>(width), static_cast<unsigned>(height), 0, nullptr) == 0;
}

std::span<const EncoderCandidate> hardwareEncoders(VideoCodec codec) {
    if (codec == VideoCodec::hevc) {
        return kHardwareHevcEncoders;
    }
    return kHardwareH264Encoders;
}

Expected<OpenCodec, int> openCodec(const EncoderCandidate& candidate, const VideoEncoderSettings& settings,
                                   const std::string& softwarePreset) {
    const AVCodec* codec = avcodec_find_encoder_by_name(candidate.name);
    if (codec == nullptr) {
        return AVERROR_ENCODER_NOT_FOUND;
    }
    AVCodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) {
        return AVERROR(ENOMEM);
    }
    context->width = settings.width;
    context->height = settings.height;
    context->time_base = AVRational{1, kTimeScale};
    context->framerate = settings.frameRate > 0 ? AVRational{settings.frameRate, 1} : kNominalFrameRate;
    context->sample_aspect_ratio = AVRational{1, 1};
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    context->max_b_frames = 0;
    // libyuv converts with the BT.601 matrix into limited range; the pictures themselves are sRGB.
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_SMPTE170M;
    context->color_primaries = AVCOL_PRI_BT709;
    context->color_trc = AVCOL_TRC_IEC61966_2_1;
    if (settings.averageBitRate > 0) {
        // A one-second buffer at the average rate keeps the rate steady enough for real time while
        // letting a key frame be larger than its neighbours.
        context->bit_rate = settings.averageBitRate;
        context->rc_max_rate = settings.averageBitRate;
        context->rc_buffer_size = clampToInt(settings.averageBitRate);
    }
    if (settings.maxKeyFrameInterval > 0) {
        context->gop_size = settings.maxKeyFrameInterval;
    }

    OpenCodec open;
    if (const int result =
            configureBackend(candidate, settings, softwarePreset, *context, &open.hardwareFrames);
        result < 0) {
        return result;
    }
    {
        // Encoders announce themselves at the information level on every open (libx264 prints its
        // whole configuration); warnings and errors still get through.
        const ScopedFfmpegLogLevel quieter(AV_LOG_WARNING);
        if (const int result = avcodec_open2(context.get(), codec, nullptr); result < 0) {
            return result;
        }
    }
    open.candidate = candidate;
    open.softwareFormat = candidate.backend == EncoderBackend::x264 ? context->pix_fmt : AV_PIX_FMT_NV12;
    open.context = std::move(context);
    return open;
}

} // namespace backreel
