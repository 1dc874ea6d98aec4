#include "capture/VideoCompression.h"
#include "support/synthetic/SyntheticCompressionService.h"
#include "support/LogCapture.h"
#include "support/Samples.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace backreel;

namespace {
template <typename Change>
SyntheticOptions options(Change change) {
    SyntheticOptions result;
    change(result);
    return result;
}

bool journalHas(const SyntheticState& state, const std::string& event) {
    const auto journal = state.journal();
    return std::find(journal.begin(), journal.end(), event) != journal.end();
}
} // namespace

TEST(VideoCompression, WithoutHardwareHevcTheSessionIsH264High) {
    test::LogCapture log;
    auto state = std::make_shared<SyntheticState>();
    SyntheticCompressionService service(state);
    auto created = createCompressionSession(service, 1920, 1080, RingBuffer::create(), Logger::recording());
    ASSERT_TRUE(created);
    EXPECT_EQ(state->journal(), (std::vector<std::string>{
                                    "createSession hvc1 hardware",
                                    "createSession avc1",
                                    "setProperty realTime=true",
                                    "setProperty averageBitRate=20000000",
                                    "setProperty allowFrameReordering=false",
                                    "setProperty maxKeyFrameInterval=30",
                                    "setProperty maxKeyFrameIntervalDuration=0.5",
                                    "setProperty profileLevel=H264_High",
                                    "prepareToEncodeFrames",
                                }));
    EXPECT_EQ(log.texts(), (std::vector<QString>{
                               QStringLiteral("[Compression] Creating session: codec=H264, 1920×1080"),
                               QStringLiteral("[Compression] Session ready: H264, bitrate=20Mbps, keyframeInterval=0.5s"),
                           }));
    EXPECT_EQ(created.value().context->framesOut.load(), 0);
}

TEST(VideoCompression, HardwareHevcIsChosenWhenItOpens) {
    test::LogCapture log;
    auto state = std::make_shared<SyntheticState>(options([](SyntheticOptions& o) { o.hardwareHevcAvailable = true; }));
    SyntheticCompressionService service(state);
    EXPECT_EQ(chooseCodec(service, 640, 480), codec::hevc);
    EXPECT_TRUE(journalHas(*state, "invalidate")) << "the probe session is closed at once";
    auto created = createCompressionSession(service, 640, 480, RingBuffer::create(), Logger::recording());
    ASSERT_TRUE(created);
    EXPECT_TRUE(journalHas(*state, "setProperty averageBitRate=10000000"));
    EXPECT_TRUE(journalHas(*state, "setProperty profileLevel=HEVC_Main"));
    EXPECT_EQ(log.count(QStringLiteral("[Compression] Session ready: HEVC, bitrate=10Mbps, keyframeInterval=0.5s")), 1);
}

TEST(VideoCompression, CreationFailureCarriesTheStatus) {
    auto state = std::make_shared<SyntheticState>(options([](SyntheticOptions& o) { o.createSessionStatus = -12908; }));
    SyntheticCompressionService service(state);
    auto created = createCompressionSession(service, 64, 64, RingBuffer::create(), Logger::recording());
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().domain, QStringLiteral("Backreel"));
    EXPECT_EQ(created.error().code, -12908);
    EXPECT_EQ(created.error().description, QStringLiteral("Failed to create compression session (err -12908)."));

    state->changeOptions([](SyntheticOptions& o) {
        o.createSessionStatus = 0;
        o.createSessionReturnsNothing = true;
    });
    created = createCompressionSession(service, 64, 64, RingBuffer::create(), Logger::recording());
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().code, 0);
    EXPECT_EQ(created.error().description, QStringLiteral("Failed to create compression session (err 0)."));
}

TEST(VideoCompression, OutputCallbackAppendsCountsAndLogs) {
    test::LogCapture log;
    auto store = RingBuffer::create();
    CallbackContext context(store, Logger::recording());

    compressionOutputCallback(nullptr, 0, test::keyFrame(1.0)); // no context: nothing
    compressionOutputCallback(&context, 0, nullptr);            // dropped frame: nothing at all
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(store->count(), 0u);

    compressionOutputCallback(&context, -12911, test::keyFrame(1.0));
    EXPECT_EQ(log.count(QStringLiteral("[VT] Encode error: status=-12911")), 1);
    EXPECT_EQ(store->count(), 0u);
    EXPECT_EQ(context.framesOut.load(), 0);

    for (int i = 0; i < 270; ++i) {
        compressionOutputCallback(&context, 0, i % 15 == 0 ? test::keyFrame(i / 30.0) : test::deltaFrame(i / 30.0));
    }
    EXPECT_EQ(context.framesOut.load(), 270);
    EXPECT_EQ(store->count(), 270u);
    EXPECT_EQ(log.count(QStringLiteral("[VT] First compressed frame out: PTS=0.000s isKeyframe=true")), 1);
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[VT] Compressed frame ")), 3);
    EXPECT_EQ(log.levelOf(QStringLiteral("[VT] Compressed frame 90 out")), QtDebugMsg);
    EXPECT_EQ(log.count(QStringLiteral("[VT] Compressed frame 270 out")), 1);
}

TEST(VideoCompression, NothingArrivesAfterCompleteAndInvalidate) {
    auto state = std::make_shared<SyntheticState>(options([](SyntheticOptions& o) { o.encodeLatencyMicroseconds = 2000; }));
    SyntheticCompressionService service(state);
    auto store = RingBuffer::create();
    auto created = createCompressionSession(service, 64, 64, store, Logger::recording());
    ASSERT_TRUE(created);
    auto session = created.value().session;
    const ImageBufferPtr image = ImageBuffer::allocate(64, 64);
    for (int i = 0; i < 20; ++i) {
        session->encodeFrame(image, MediaTime(i, 30), MediaTime(1, 30));
    }
    QCoro::waitFor(completeAndInvalidate(session));
    EXPECT_EQ(store->count(), 20u) << "every pending frame was emitted before completion";
    session->encodeFrame(image, MediaTime(21, 30), MediaTime(1, 30));
    QCoro::waitFor(completeAndInvalidate(session));
    EXPECT_EQ(store->count(), 20u);
}
