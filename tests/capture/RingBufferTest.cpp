#include "capture/RingBuffer.h"

#include "capture/MediaStores.h"
#include "support/Samples.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace backreel;
using backreel::test::audioAt;

static AudioPacket audioOf(std::size_t bytes, double seconds) {
    AudioPacket packet = audioAt(seconds);
    packet.data = std::make_shared<const std::vector<std::byte>>(bytes);
    return packet;
}

template <typename T> static std::vector<double> times(const TimedStore<T>& store) {
    std::vector<double> result;
    for (const auto& entry : store.snapshot()) {
        result.push_back(entry.presentationTime.seconds());
    }
    return result;
}

// Each append trims the oldest entries while the span strictly exceeds the capacity; a span that is
// negative or reaches an invalid PTS removes nothing, and an invalid PTS at the front goes once a
// valid one follows, so it never stops the trimming. A smaller capacity takes effect on the next append.
TEST(RingBuffer, TrimsOnlyWhenTheSpanStrictlyExceedsTheCapacity) {
    auto store = AudioRingBuffer::create();
    EXPECT_EQ(store->maxDuration(), 11.0);
    store->setMaxDuration(10.75);
    const double invalid = std::nan("");
    const std::tuple<double, double, std::size_t, double> appends[] = {
        // appended, capacity, entries kept, oldest time
        {invalid, 10.75, 1, invalid}, {5.0, 10.75, 1, 5.0},      {15.75, 10.75, 2, 5.0},
        {15.8, 10.75, 2, 15.75},      {15.0, 10.75, 3, 15.75},   {invalid, 0.1, 4, 15.75},
        {100.0, 0.1, 1, 100.0}};
    for (const auto& [time, capacity, count, oldest] : appends) {
        store->setMaxDuration(capacity);
        store->append(audioAt(std::isnan(time) ? MediaTime::invalid() : MediaTime::makeWithSeconds(time, kTimeScale)));
        EXPECT_EQ(store->count(), count) << time;
        const double front = times(*store).front();
        EXPECT_TRUE(front == oldest || (std::isnan(front) && std::isnan(oldest))) << time;
    }
    store->clear();
    EXPECT_TRUE(store->count() == 0 && store->snapshot().empty());
}

// The bytes held follow every way an entry leaves: the duration trim, the oldest picture with
// the pictures that need it, audio before a time, and clearing.
TEST(RingBuffer, CountsTheBytesItHoldsAndDropsPicturesWithTheirKeyFrame) {
    auto video = RingBuffer::create();
    video->setMaxDuration(1.0);
    for (int i = 0; i < 20; ++i) { // 10 per second, a 1000-byte key frame every 0.5 s, 100 bytes between
        video->append(test::videoPacket(i * 0.1, i % 5 == 0, i % 5 == 0 ? 1000 : 100));
    }
    EXPECT_EQ(times(*video).front(), 0.9);
    EXPECT_EQ(video->bytes(), 2u * 1000 + 9 * 100) << "0.9 … 1.9 s, key frames at 1.0 and 1.5";

    ASSERT_TRUE(video->dropOldest());
    EXPECT_EQ(video->oldestTime(), MediaTime::makeWithSeconds(1.0, kTimeScale)) << "a key frame stops it";
    ASSERT_TRUE(video->dropOldest());
    EXPECT_EQ(times(*video).front(), 1.5) << "a key frame goes with the pictures after it";
    EXPECT_EQ(video->bytes(), 1000u + 4 * 100);
    EXPECT_DOUBLE_EQ(video->spanSeconds(), 0.4);
    video->clear();
    EXPECT_EQ(video->bytes(), 0u);
    EXPECT_FALSE(video->dropOldest());
    const VideoPacket packet = test::keyFrame(3.0);
    video->append(packet);
    EXPECT_EQ(video->snapshot().front().data.data(), packet.data.data()) << "snapshots share the bytes";

    auto audio = AudioRingBuffer::create();
    for (int i = 0; i < 10; ++i) {
        audio->append(audioOf(100, i * 0.1));
    }
    audio->dropBefore(MediaTime::makeWithSeconds(0.45, kTimeScale));
    audio->dropBefore(MediaTime::invalid());
    EXPECT_EQ(times(*audio).front(), 0.5);
    EXPECT_EQ(audio->bytes(), 5u * 100);
}

// Under a memory limit the oldest video goes first, a key frame with its pictures at a time, and
// with it the audio from before what the oldest picture's sound needs: what both hold never passes the
// limit. An entry larger than the whole limit goes in alone.
TEST(RingBuffer, AMemoryLimitDropsTheOldestVideoAndTheAudioBeforeIt) {
    auto stores = MediaStores::create(60, MemoryLimit(10'000), Logger::recording());
    // Per second: 2 key frames of 1000 bytes and 8 pictures of 200, and 100 audio packets of 40.
    for (int tick = 0; tick < 500; ++tick) { // 5 s in 10 ms steps
        const double seconds = tick * 0.01;
        if (tick % 10 == 0) {
            const bool key = tick % 50 == 0;
            stores->appendVideo(test::videoPacket(seconds, key, key ? 1000 : 200));
        }
        stores->appendAudio(audioOf(40, seconds));
        const std::size_t held = stores->video()->bytes() + stores->audio()->bytes();
        ASSERT_LE(held, 10'000u) << "at " << seconds << " s";
        if (stores->limitReached()) {
            ASSERT_TRUE(stores->video()->snapshot().front().keyFrame) << "at " << seconds << " s";
            ASSERT_GE(stores->audio()->oldestTime(), stores->video()->oldestTime() - kAudioLead)
                << "at " << seconds << " s";
        }
    }
    ASSERT_TRUE(stores->limitReached());
    EXPECT_LE(stores->peakBytes(), 10'000u);
    // 7600 bytes a second in groups of 0.5 s: the newest 0.7–1.4 s.
    EXPECT_GE(stores->video()->spanSeconds(), 0.7);
    EXPECT_LE(stores->video()->spanSeconds(), 1.4);

    stores->appendVideo(test::videoPacket(5.0, true, 20'000));
    EXPECT_EQ(stores->video()->count(), 1u);
    EXPECT_EQ(stores->audio()->count(), 0u);

    // A clip waiting for its save keeps bytes the stores have let go: they count against the limit, so
    // the stores keep less meanwhile, and the room comes back when the clip is written.
    const std::size_t packetBytes = 1000;
    auto holding = MediaStores::create(60, MemoryLimit(10 * packetBytes), Logger::recording());
    int next = 0;
    const auto append = [&](int count) {
        for (int i = 0; i < count; ++i, ++next) {
            holding->appendVideo(test::videoPacket(next / 30.0, true, packetBytes));
        }
    };
    append(4);
    BufferedMedia cut = holding->cut(StoresAfterCut::keep);
    std::shared_ptr<void> held = holding->holdClip(cut.video, cut.audio);
    append(6);
    EXPECT_EQ(holding->video()->count(), 10u);
    EXPECT_EQ(holding->heldOutsideBytes(), 0u) << "all of the clip is still in the store";
    append(5);
    EXPECT_EQ(holding->heldOutsideBytes(), 4 * packetBytes);
    EXPECT_EQ(holding->video()->count(), 6u) << "the clip's four frames and the store's six fill the limit";
    held.reset();
    append(4);
    EXPECT_EQ(holding->video()->count(), 10u) << "the room came back";

    // A fresh buffer: the cut empties the holding, and the held clip is all outside them.
    cut = holding->cut(StoresAfterCut::empty);
    held = holding->holdClip(cut.video, cut.audio);
    EXPECT_EQ(holding->video()->count(), 0u);
    EXPECT_EQ(holding->heldOutsideBytes(), 10 * packetBytes);
    append(1);
    EXPECT_EQ(holding->video()->count(), 1u) << "a clip of the whole limit leaves room for the newest only";
    holding.reset();
    held.reset(); // outlives the holding harmlessly
}
