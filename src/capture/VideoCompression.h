#pragma once

#include "capture/RingBuffer.h"
#include "platform/CompressionSession.h"
#include "platform/Error.h"
#include "platform/log/Log.h"

#include <QCoroTask>

#include <atomic>
#include <cstdint>
#include <memory>

namespace backreel {

// The compression output callback's context: where compressed frames go. The manager keeps it
// alive for as long as the session can call back.
class CallbackContext {
public:
    CallbackContext(std::shared_ptr<RingBuffer> store, Logger log) : ringBuffer(std::move(store)), logger(log) {}

    const std::shared_ptr<RingBuffer> ringBuffer;
    const Logger logger;
    // Touched only by the output callback, on the encoder's thread.
    std::atomic<std::int64_t> framesOut{0};
};

struct CompressionSetup {
    std::shared_ptr<CompressionSession> session;
    std::shared_ptr<CallbackContext> context;
};

// HEVC when a hardware encoder opens at this size, H.264 otherwise. Main thread.
FourCC chooseCodec(CompressionService& service, std::int32_t width, std::int32_t height);

// A prepared real-time session whose output goes into ringBuffer. Main thread. Fails with the
// "Backreel" error "Failed to create compression session (err N)." carrying the creation status.
Expected<CompressionSetup> createCompressionSession(CompressionService& service, std::int32_t width,
                                                    std::int32_t height, std::shared_ptr<RingBuffer> ringBuffer,
                                                    const Logger& logger);

// The session's output callback; refcon is the CallbackContext. Encoder thread.
void compressionOutputCallback(void* refcon, std::int32_t status, const MediaSamplePtr& sample);

// Emits every pending frame and invalidates the session, off the main thread; the caller
// suspends until both are done.
QCoro::Task<> completeAndInvalidate(std::shared_ptr<CompressionSession> session);

} // namespace backreel
