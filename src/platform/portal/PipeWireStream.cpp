#include "platform/portal/PipeWireStream.h"

#include "core/log/Log.h"
#include "platform/pixels/FrameClock.h"
#include "platform/portal/PipeWireHeaders.h"

#include <array>
#include <cerrno>
#include <ctime>
#include <linux/dma-buf.h>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

namespace backreel::portal {

namespace {

void initPipeWire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

Error pipeWireError(int result, const QString& what) {
    return Error(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(spa_strerror(result))));
}

// The formats we take: any size, any fixed frame rate or a variable one (0/1, as compositors send
// with a maximum), which we ask to be frameRate at most.
const spa_pod* buildFormat(spa_pod_builder* builder, int frameRate) {
    const spa_rectangle defaultSize{1920, 1080};
    const spa_rectangle minimumSize{1, 1};
    const spa_rectangle maximumSize{16384, 16384};
    const spa_fraction anyRate{0, 1};
    const spa_fraction defaultMaximumRate{static_cast<std::uint32_t>(frameRate), 1};
    const spa_fraction lowestMaximumRate{1, 1};
    const spa_fraction highestMaximumRate{1000, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat,      //
        SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),     //
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), //
        SPA_FORMAT_VIDEO_format,                                    //
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minimumSize, &maximumSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&anyRate, &anyRate, &highestMaximumRate),
        SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&defaultMaximumRate, &lowestMaximumRate, &highestMaximumRate)));
}

// Buffers in memory we can map, with the header (times) and the video crop.
std::array<const spa_pod*, 3> buildBufferParams(spa_pod_builder* builder) {
    const int dataTypes = (1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_DmaBuf);
    return {
        static_cast<const spa_pod*>(
            spa_pod_builder_add_object(builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,      //
                                       SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(8, 2, 16), //
                                       SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(dataTypes))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, //
            SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),   //
            SPA_PARAM_META_size, SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header))))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,  //
            SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoCrop), //
            SPA_PARAM_META_size, SPA_POD_Int(static_cast<int>(sizeof(spa_meta_region))))),
    };
}

std::optional<PixelOrder> pixelOrderOf(std::uint32_t videoFormat) {
    switch (videoFormat) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        return PixelOrder::bgra;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        return PixelOrder::rgba;
    default:
        return std::nullopt;
    }
}

// CPU access to a DMA-BUF is bracketed so that the driver can make the memory coherent.
void syncDmaBuf(const spa_data& data, std::uint64_t flags) {
    if (data.type != SPA_DATA_DmaBuf || data.fd < 0) {
        return;
    }
    dma_buf_sync sync{};
    sync.flags = flags | DMA_BUF_SYNC_READ;
    while (ioctl(static_cast<int>(data.fd), DMA_BUF_IOCTL_SYNC, &sync) == -1 &&
           (errno == EINTR || errno == EAGAIN)) {
    }
}

} // namespace

struct PipeWireStream::Listeners {
    spa_hook stream{};
    spa_hook core{};
    spa_hook registry{};
    pw_stream_events streamEvents{};
    pw_core_events coreEvents{};
    pw_registry_events registryEvents{};
};

void PipeWireStream::LoopDeleter::operator()(pw_thread_loop* loop) const {
    pw_thread_loop_destroy(loop);
}
void PipeWireStream::ContextDeleter::operator()(pw_context* context) const {
    pw_context_destroy(context);
}
void PipeWireStream::CoreDeleter::operator()(pw_core* core) const {
    pw_core_disconnect(core);
}
void PipeWireStream::StreamDeleter::operator()(pw_stream* stream) const {
    pw_stream_destroy(stream);
}
void PipeWireStream::RegistryDeleter::operator()(pw_registry* registry) const {
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
}
void PipeWireStream::ListenersDeleter::operator()(Listeners* listeners) const {
    spa_hook_remove(&listeners->stream);
    spa_hook_remove(&listeners->core);
    spa_hook_remove(&listeners->registry);
    delete listeners;
}

PipeWireStream::PipeWireStream(FormatHandler onFormat, EndHandler onEnd)
    : onFormat_(std::move(onFormat))
    , onEnd_(std::move(onEnd)) {}

Expected<std::unique_ptr<PipeWireStream>> PipeWireStream::connect(int remoteFd, std::uint32_t nodeId, int frameRate,
                                                                  FormatHandler onFormat, EndHandler onEnd) {
    initPipeWire();
    std::unique_ptr<PipeWireStream> self(new PipeWireStream(std::move(onFormat), std::move(onEnd)));
    self->loop_.reset(pw_thread_loop_new("PipeWire", nullptr));
    if (!self->loop_) {
        close(remoteFd);
        return pipeWireError(-errno, QStringLiteral("Cannot create the PipeWire loop"));
    }
    self->context_.reset(pw_context_new(pw_thread_loop_get_loop(self->loop_.get()), nullptr, 0));
    if (!self->context_) {
        close(remoteFd);
        return pipeWireError(-errno, QStringLiteral("Cannot create the PipeWire context"));
    }
    if (const int result = pw_thread_loop_start(self->loop_.get()); result < 0) {
        close(remoteFd);
        return pipeWireError(result, QStringLiteral("Cannot start the PipeWire loop"));
    }
    pw_thread_loop_lock(self->loop_.get());
    // From here on every failure unlocks and stops the loop before the members go.
    struct Unlock {
        pw_thread_loop* loop;
        ~Unlock() { pw_thread_loop_unlock(loop); }
    };
    auto fail = [&self](const Error& error) -> Expected<std::unique_ptr<PipeWireStream>> {
        pw_thread_loop_unlock(self->loop_.get());
        pw_thread_loop_stop(self->loop_.get());
        pw_thread_loop_lock(self->loop_.get()); // the Unlock below balances this
        return error;
    };
    const Unlock unlock{self->loop_.get()};

    self->core_.reset(pw_context_connect_fd(self->context_.get(), remoteFd, nullptr, 0));
    if (!self->core_) {
        return fail(pipeWireError(-errno, QStringLiteral("Cannot connect to PipeWire")));
    }
    self->listeners_.reset(new Listeners);
    Listeners& listeners = *self->listeners_;
    listeners.coreEvents.version = PW_VERSION_CORE_EVENTS;
    listeners.coreEvents.error = &PipeWireStream::onCoreError;
    pw_core_add_listener(self->core_.get(), &listeners.core, &listeners.coreEvents, self.get());

    // The node leaving the registry is the surest sign that the desktop ended the share: the
    // stream itself may only go to paused.
    self->nodeId_ = nodeId;
    self->registry_.reset(pw_core_get_registry(self->core_.get(), PW_VERSION_REGISTRY, 0));
    if (!self->registry_) {
        return fail(pipeWireError(-errno, QStringLiteral("Cannot watch PipeWire's nodes")));
    }
    listeners.registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    listeners.registryEvents.global_remove = &PipeWireStream::onGlobalRemoved;
    pw_registry_add_listener(self->registry_.get(), &listeners.registry, &listeners.registryEvents, self.get());

    self->stream_.reset(pw_stream_new(self->core_.get(), "Backreel screen capture",
                                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                        "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
    if (!self->stream_) {
        return fail(pipeWireError(-errno, QStringLiteral("Cannot create the PipeWire stream")));
    }
    listeners.streamEvents.version = PW_VERSION_STREAM_EVENTS;
    listeners.streamEvents.state_changed = [](void* data, pw_stream_state old, pw_stream_state state,
                                              const char* error) {
        onStateChanged(data, static_cast<int>(old), static_cast<int>(state), error);
    };
    listeners.streamEvents.param_changed = &PipeWireStream::onParamChanged;
    listeners.streamEvents.process = &PipeWireStream::onProcess;
    pw_stream_add_listener(self->stream_.get(), &listeners.stream, &listeners.streamEvents, self.get());

    std::array<std::uint8_t, 1024> podBuffer{};
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBuffer.data(), podBuffer.size());
    const spa_pod* format = buildFormat(&builder, frameRate);
    const int result = pw_stream_connect(
        self->stream_.get(), PW_DIRECTION_INPUT, nodeId,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &format, 1);
    if (result < 0) {
        return fail(pipeWireError(result, QStringLiteral("Cannot connect to the screen's stream")));
    }
    return self;
}

PipeWireStream::~PipeWireStream() {
    if (loop_ && tickSource_ != nullptr) {
        pw_thread_loop_lock(loop_.get());
        pw_loop_destroy_source(pw_thread_loop_get_loop(loop_.get()), tickSource_);
        tickSource_ = nullptr;
        pw_thread_loop_unlock(loop_.get());
    }
    if (loop_) {
        pw_thread_loop_stop(loop_.get());
    }
    if (stream_) {
        pw_stream_disconnect(stream_.get());
    }
}

void PipeWireStream::setPictureHandler(PictureHandler handler) {
    pw_thread_loop_lock(loop_.get());
    onPicture_ = std::move(handler);
    pw_thread_loop_unlock(loop_.get());
}

void PipeWireStream::setTickHandler(std::chrono::nanoseconds interval, TickHandler handler) {
    pw_thread_loop_lock(loop_.get());
    pw_loop* loop = pw_thread_loop_get_loop(loop_.get());
    onTick_ = std::move(handler);
    if (onTick_ && tickSource_ == nullptr) {
        tickSource_ = pw_loop_add_timer(loop, &PipeWireStream::onTimer, this);
    }
    if (tickSource_ != nullptr) {
        timespec every{};
        if (onTick_ && interval.count() > 0) {
            every.tv_sec = static_cast<time_t>(interval.count() / 1'000'000'000);
            every.tv_nsec = static_cast<long>(interval.count() % 1'000'000'000);
        }
        timespec first = every; // all zero disarms the timer
        pw_loop_update_timer(loop, tickSource_, &first, &every, false);
    }
    pw_thread_loop_unlock(loop_.get());
}

void PipeWireStream::onTimer(void* data, std::uint64_t /*expirations*/) {
    auto* self = static_cast<PipeWireStream*>(data);
    if (self->onTick_ && !self->ended_) {
        self->onTick_();
    }
}

void PipeWireStream::end(const Error& error) {
    if (ended_) {
        return;
    }
    ended_ = true;
    Logger::recording().error(
        QStringLiteral("[Capture] Screen-cast stream ended: %1").arg(error.description));
    if (onEnd_) {
        onEnd_(error);
    }
}

void PipeWireStream::onStateChanged(void* data, int /*old*/, int state, const char* error) {
    auto* self = static_cast<PipeWireStream*>(data);
    switch (static_cast<pw_stream_state>(state)) {
    case PW_STREAM_STATE_ERROR:
        self->end(
            Error(QStringLiteral("The screen's stream failed: %1")
                      .arg(error != nullptr ? QString::fromUtf8(error) : QStringLiteral("no reason given"))));
        break;
    case PW_STREAM_STATE_UNCONNECTED:
    case PW_STREAM_STATE_PAUSED:
        // Paused before the first streaming is the way in; after it, the way out.
        if (self->streaming_) {
            self->end(Error(QStringLiteral("The desktop ended the screen's stream.")));
        }
        break;
    case PW_STREAM_STATE_STREAMING:
        self->streaming_ = true;
        break;
    default:
        break;
    }
}

void PipeWireStream::onParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto* self = static_cast<PipeWireStream*>(data);
    if (param == nullptr || id != SPA_PARAM_Format) {
        return;
    }
    std::uint32_t mediaType = 0;
    std::uint32_t mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw) {
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0 || !pixelOrderOf(info.format)) {
        return;
    }
    self->videoFormat_ = info.format;
    self->width_ = static_cast<std::int32_t>(info.size.width);
    self->height_ = static_cast<std::int32_t>(info.size.height);
    Logger::recording().info(
        QStringLiteral("[Capture] Screen-cast format %1 %2×%3")
            .arg(QString::fromUtf8(spa_debug_type_find_short_name(spa_type_video_format, info.format)))
            .arg(self->width_)
            .arg(self->height_));
    std::array<std::uint8_t, 1024> podBuffer{};
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBuffer.data(), podBuffer.size());
    std::array<const spa_pod*, 3> params = buildBufferParams(&builder);
    pw_stream_update_params(self->stream_.get(), params.data(), static_cast<std::uint32_t>(params.size()));
    if (self->onFormat_) {
        self->onFormat_(self->width_, self->height_);
    }
}

void PipeWireStream::onProcess(void* data) {
    auto* self = static_cast<PipeWireStream*>(data);
    // Only the newest picture counts; older ones go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream_.get())) {
        if (newest != nullptr) {
            pw_stream_queue_buffer(self->stream_.get(), newest);
        }
        newest = buffer;
    }
    if (newest == nullptr) {
        return;
    }
    self->handOn(newest);
    pw_stream_queue_buffer(self->stream_.get(), newest);
}

void PipeWireStream::handOn(pw_buffer* buffer) {
    const std::int64_t arrival = monotonicNanoseconds();
    const spa_buffer* spaBuffer = buffer->buffer;
    const std::optional<PixelOrder> order = pixelOrderOf(videoFormat_);
    if (!onPicture_ || !order || spaBuffer == nullptr || spaBuffer->n_datas < 1) {
        return;
    }
    const spa_data& plane = spaBuffer->datas[0];
    // A compositor sends buffers without a picture when only the cursor moved, or nothing changed.
    if (plane.data == nullptr || plane.chunk == nullptr || plane.chunk->size == 0 ||
        (static_cast<std::uint32_t>(plane.chunk->flags) & SPA_CHUNK_FLAG_CORRUPTED) != 0) {
        return;
    }
    std::optional<std::int64_t> headerTime;
    if (const auto* header = static_cast<const spa_meta_header*>(
            spa_buffer_find_meta_data(spaBuffer, SPA_META_Header, sizeof(spa_meta_header)))) {
        if ((header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0) {
            return;
        }
        if (header->pts > 0) {
            headerTime = header->pts;
        }
    }
    std::optional<pixels::PixelRect> videoCrop;
    if (const auto* crop = static_cast<const spa_meta_region*>(
            spa_buffer_find_meta_data(spaBuffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
        crop != nullptr && spa_meta_region_is_valid(crop)) {
        videoCrop = pixels::PixelRect{crop->region.position.x, crop->region.position.y,
                                      static_cast<std::int32_t>(crop->region.size.width),
                                      static_cast<std::int32_t>(crop->region.size.height)};
    }
    const auto stride = static_cast<std::size_t>(plane.chunk->stride > 0 ? plane.chunk->stride : width_ * 4);
    const std::size_t offset = plane.chunk->offset % std::max<std::uint32_t>(plane.maxsize, 1);
    // Never read past what the buffer holds, whatever the format says.
    const std::size_t available = plane.maxsize - offset;
    const std::int32_t rows = static_cast<std::int32_t>(
        std::min<std::size_t>(static_cast<std::size_t>(height_), stride > 0 ? available / stride : 0));
    if (rows <= 0 || stride < static_cast<std::size_t>(width_) * 4) {
        return;
    }
    SourcePicture picture;
    picture.data = static_cast<const std::byte*>(plane.data) + offset;
    picture.width = width_;
    picture.height = rows;
    picture.bytesPerRow = stride;
    picture.order = *order;
    picture.crop = cropOf(videoCrop, width_, rows);
    picture.presentationTime = presentationTimeOf(headerTime, arrival);
    syncDmaBuf(plane, DMA_BUF_SYNC_START);
    onPicture_(picture);
    syncDmaBuf(plane, DMA_BUF_SYNC_END);
}

void PipeWireStream::onGlobalRemoved(void* data, std::uint32_t id) {
    auto* self = static_cast<PipeWireStream*>(data);
    if (id == self->nodeId_) {
        self->end(Error(QStringLiteral("The desktop ended the screen's stream.")));
    }
}

void PipeWireStream::onCoreError(void* data, std::uint32_t id, int /*seq*/, int res, const char* message) {
    auto* self = static_cast<PipeWireStream*>(data);
    if (id != PW_ID_CORE) {
        return;
    }
    // A broken pipe is the daemon gone; any error on the core ends the stream.
    self->end(Error(QStringLiteral("PipeWire: %1")
            .arg(message != nullptr ? QString::fromUtf8(message) : QString::fromUtf8(spa_strerror(res)))));
}

} // namespace backreel::portal
