// A synthetic screen for the test portal: a PipeWire video source that behaves as a compositor's
// screen-cast stream does. It drives its own graph, sends BGRx in shared memory at up to 30 frames
// a second with a variable frame rate (0/1, maximum 30/1), stamps each buffer's header with the
// monotonic clock, and carries a video crop of the whole picture.
//
// usage: backreel_video_node NAME PATTERN WIDTHxHEIGHT
//   PATTERN: bars (seven colour bars: white, yellow, cyan, green, magenta, red, blue), moving
//   (the bars scrolling sideways), or one colour: white, black, red, green, blue
// Commands on standard input, one a line: "pause" (no frames until "resume"), "resume",
// "size WIDTH HEIGHT" (a new format, as a monitor mode change or a window resize gives), "quit".
// End of input quits too.

#include "platform/portal/PipeWireHeaders.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::uint32_t kBars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF};

struct Node {
    std::string name;
    std::string pattern;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool paused = false;
    bool streaming = false;
    std::uint64_t frame = 0;
    std::string input;
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
};

std::uint64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec);
}

std::uint32_t colourAt(const Node& node, std::int32_t x) {
    if (node.pattern == "bars" || node.pattern == "moving") {
        const std::int64_t shift = node.pattern == "moving" ? static_cast<std::int64_t>(node.frame * 8) : 0;
        return kBars[(x + shift) % node.width * 7 / node.width];
    }
    const std::pair<const char*, std::uint32_t> colours[] = {
        {"white", 0xFFFFFF}, {"red", 0xFF0000}, {"green", 0x00FF00}, {"blue", 0x0000FF}};
    const auto* named =
        std::ranges::find(colours, node.pattern, [](const auto& c) { return std::string(c.first); });
    return named == std::end(colours) ? 0 : named->second; // black for any other name
}

const spa_pod* formatFor(spa_pod_builder* builder, std::int32_t width, std::int32_t height) {
    const spa_rectangle size{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    const spa_fraction variable{0, 1};
    const spa_fraction maximum{30, 1};
    const spa_fraction lowest{1, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
        SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&variable),
        SPA_FORMAT_VIDEO_maxFramerate, SPA_POD_CHOICE_RANGE_Fraction(&maximum, &lowest, &maximum)));
}

void onParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
    auto* node = static_cast<Node*>(data);
    if (param == nullptr || id != SPA_PARAM_Format) {
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) {
        return;
    }
    node->width = static_cast<std::int32_t>(info.size.width);
    node->height = static_cast<std::int32_t>(info.size.height);
    const int stride = node->width * 4;
    std::array<std::uint8_t, 1024> buffer{};
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer.data(), buffer.size());
    const std::array<const spa_pod*, 3> params{
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * node->height), SPA_PARAM_BUFFERS_stride,
            SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd))),
        static_cast<const spa_pod*>(
            spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
                                       SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
                                       SPA_POD_Int(static_cast<int>(sizeof(spa_meta_header))))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoCrop), SPA_PARAM_META_size,
            SPA_POD_Int(static_cast<int>(sizeof(spa_meta_region))))),
    };
    auto* writable = const_cast<const spa_pod**>(params.data());
    pw_stream_update_params(node->stream, writable, static_cast<std::uint32_t>(params.size()));
}

// Shared memory of our own for each buffer, as a compositor hands out.
void onAddBuffer(void* data, pw_buffer* buffer) {
    const auto* node = static_cast<Node*>(data);
    spa_data& plane = buffer->buffer->datas[0];
    const auto size = static_cast<std::uint32_t>(node->width * 4 * node->height);
    const int fd = memfd_create("backreel-video-node", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0 || ftruncate(fd, size) < 0) {
        return;
    }
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        close(fd);
        return;
    }
    plane.type = SPA_DATA_MemFd;
    plane.flags = SPA_DATA_FLAG_READWRITE;
    plane.fd = fd;
    plane.mapoffset = 0;
    plane.maxsize = size;
    plane.data = pixels;
}

void onRemoveBuffer(void*, pw_buffer* buffer) {
    spa_data& plane = buffer->buffer->datas[0];
    if (plane.data != nullptr) {
        munmap(plane.data, plane.maxsize);
    }
    if (plane.fd >= 0) {
        close(static_cast<int>(plane.fd));
    }
}

void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    static_cast<Node*>(data)->streaming = state == PW_STREAM_STATE_STREAMING;
}

// One frame, when the graph is running and the source is not paused.
void sendFrame(Node& node) {
    if (!node.streaming || node.paused) {
        return;
    }
    pw_buffer* buffer = pw_stream_dequeue_buffer(node.stream);
    if (buffer == nullptr) {
        return;
    }
    spa_buffer* spaBuffer = buffer->buffer;
    spa_data& plane = spaBuffer->datas[0];
    const auto stride = static_cast<std::uint32_t>(node.width * 4);
    if (plane.data != nullptr && plane.maxsize >= stride * static_cast<std::uint32_t>(node.height)) {
        auto* pixels = static_cast<std::uint8_t*>(plane.data);
        for (std::int32_t x = 0; x < node.width; ++x) {
            const std::uint32_t colour = colourAt(node, x) | 0xFF000000u; // BGRx: the word 0xXXRRGGBB
            std::memcpy(pixels + x * 4, &colour, 4);
        }
        for (std::int32_t y = 1; y < node.height; ++y) {
            std::memcpy(pixels + static_cast<std::size_t>(y) * stride, pixels, stride);
        }
        plane.chunk->offset = 0;
        plane.chunk->stride = static_cast<std::int32_t>(stride);
        plane.chunk->size = stride * static_cast<std::uint32_t>(node.height);
    }
    if (auto* header = static_cast<spa_meta_header*>(
            spa_buffer_find_meta_data(spaBuffer, SPA_META_Header, sizeof(spa_meta_header)))) {
        header->pts = static_cast<std::int64_t>(monotonicNanoseconds());
        header->flags = 0;
        header->seq = node.frame;
    }
    if (auto* crop = static_cast<spa_meta_region*>(
            spa_buffer_find_meta_data(spaBuffer, SPA_META_VideoCrop, sizeof(spa_meta_region)))) {
        crop->region.position = SPA_POINT(0, 0);
        crop->region.size =
            SPA_RECTANGLE(static_cast<std::uint32_t>(node.width), static_cast<std::uint32_t>(node.height));
    }
    ++node.frame;
    pw_stream_queue_buffer(node.stream, buffer);
    pw_stream_trigger_process(node.stream);
}

void onTimer(void* data, std::uint64_t) {
    sendFrame(*static_cast<Node*>(data));
}

void handleCommand(Node& node, const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "pause") {
        node.paused = true;
    } else if (command == "resume") {
        node.paused = false;
    } else if (command == "size") {
        std::int32_t width = 0;
        std::int32_t height = 0;
        if (words >> width >> height && width > 0 && height > 0) {
            std::array<std::uint8_t, 1024> buffer{};
            spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer.data(), buffer.size());
            const spa_pod* format = formatFor(&builder, width, height);
            pw_stream_update_params(node.stream, &format, 1);
        }
    } else if (command == "quit") {
        pw_main_loop_quit(node.loop);
    }
}

void onInput(void* data, int fd, std::uint32_t mask) {
    auto* node = static_cast<Node*>(data);
    std::array<char, 256> chunk{};
    const ssize_t count = (mask & SPA_IO_IN) != 0 ? read(fd, chunk.data(), chunk.size()) : 0;
    if (count <= 0) {
        pw_main_loop_quit(node->loop);
        return;
    }
    node->input.append(chunk.data(), static_cast<std::size_t>(count));
    for (std::size_t end = node->input.find('\n'); end != std::string::npos; end = node->input.find('\n')) {
        handleCommand(*node, node->input.substr(0, end));
        node->input.erase(0, end + 1);
    }
}

} // namespace

int main(int argc, char** argv) {
    Node node;
    if (argc != 4 || std::sscanf(argv[3], "%dx%d", &node.width, &node.height) != 2 || node.width <= 0 ||
        node.height <= 0) {
        std::fprintf(stderr, "usage: %s NAME PATTERN WIDTHxHEIGHT\n", argv[0]);
        return 2;
    }
    node.name = argv[1];
    node.pattern = argv[2];
    pw_init(&argc, &argv);
    node.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(node.loop);

    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.param_changed = onParamChanged;
    events.state_changed = onStateChanged;
    events.add_buffer = onAddBuffer;
    events.remove_buffer = onRemoveBuffer;
    node.stream =
        pw_stream_new_simple(loop, node.name.c_str(),
                             pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME,
                                               node.name.c_str(), PW_KEY_MEDIA_TYPE, "Video", nullptr),
                             &events, &node);
    std::array<std::uint8_t, 1024> buffer{};
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer.data(), buffer.size());
    const spa_pod* format = formatFor(&builder, node.width, node.height);
    const int connected = pw_stream_connect(
        node.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_ALLOC_BUFFERS), &format, 1);
    if (connected < 0) {
        std::fprintf(stderr, "%s: cannot connect: %s\n", argv[0], spa_strerror(connected));
        return 1;
    }
    spa_source* timer = pw_loop_add_timer(loop, onTimer, &node);
    timespec interval{0, 1'000'000'000 / 30};
    pw_loop_update_timer(loop, timer, &interval, &interval, false);
    pw_loop_add_io(loop, STDIN_FILENO, SPA_IO_IN | SPA_IO_HUP | SPA_IO_ERR, false, onInput, &node);

    pw_main_loop_run(node.loop);
    pw_stream_destroy(node.stream);
    pw_main_loop_destroy(node.loop);
    pw_deinit();
    return 0;
}
