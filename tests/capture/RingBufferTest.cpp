#include "capture/RingBuffer.h"

#include "support/Samples.h"

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

using namespace backreel;
using backreel::test::audioAt;

namespace {
AudioChunk at(double seconds) {
    return audioAt(seconds);
}
AudioChunk sampleAt(MediaTime pts) {
    return audioAt(pts);
}

template <typename T> std::vector<double> times(const TimedStore<T>& store) {
    std::vector<double> result;
    for (const auto& entry : store.snapshot()) {
        result.push_back(entry.presentationTime.seconds());
    }
    return result;
}
} // namespace

TEST(RingBuffer, TrimsOnlyWhenTheSpanStrictlyExceedsTheCapacity) {
    auto store = AudioRingBuffer::create();
    EXPECT_EQ(store->maxDuration(), 11.0);
    store->setMaxDuration(10.75);
    for (int i = 0; i <= 21; ++i) { // 0.0, 0.5, ... 10.5
        store->append(at(i * 0.5));
    }
    store->append(at(10.75));
    EXPECT_EQ(times(*store).front(), 0.0) << "a span of exactly 10.75 keeps the oldest sample";
    EXPECT_EQ(store->count(), 23u);

    store->append(at(10.80));
    const auto kept = times(*store);
    EXPECT_EQ(kept.front(), 0.5) << "10.80 removes 0.0 and stops at a span of 10.30";
    EXPECT_EQ(kept.back(), 10.80);
    EXPECT_EQ(store->count(), 23u);
}

TEST(RingBuffer, EmptyFarAheadNegativeAndInvalidSpans) {
    auto store = AudioRingBuffer::create();
    store->setMaxDuration(1.0);
    store->append(at(5.0));
    EXPECT_EQ(store->count(), 1u) << "appending to an empty store removes nothing";
    store->append(at(7.0));
    EXPECT_EQ(times(*store), std::vector<double>{7.0}) << "a second sample far ahead leaves one sample";

    store->append(at(6.0));
    EXPECT_EQ(store->count(), 2u) << "a negative span removes nothing";
    store->append(sampleAt(MediaTime::invalid()));
    EXPECT_EQ(store->count(), 3u) << "appending an invalid PTS removes nothing";

    store->setMaxDuration(0.1);
    EXPECT_EQ(store->count(), 3u) << "a smaller capacity takes effect on the next append only";

    store->clear();
    EXPECT_EQ(store->count(), 0u);
    EXPECT_TRUE(store->snapshot().empty());
}

TEST(RingBuffer, AnInvalidPtsAtTheFrontNeverStopsTrimming) {
    auto store = AudioRingBuffer::create();
    store->setMaxDuration(10.75);
    store->append(sampleAt(MediaTime::invalid()));
    for (int i = 0; i < 30 * 120; ++i) { // two minutes at 30 frames per second
        store->append(at(i / 30.0));
        if (i == 600) {
            store->append(sampleAt(MediaTime::invalid())); // one more in the middle
        }
    }
    // 10.75 s at 30 fps is 323 frames (plus the invalid one while it is not at the front).
    EXPECT_LE(store->count(), 330u);
    const auto kept = times(*store);
    EXPECT_FALSE(std::isnan(kept.front()));
    EXPECT_LE(kept.back() - kept.front(), 10.75);
}

TEST(RingBuffer, SnapshotsShareThePacketBytes) {
    auto video = RingBuffer::create();
    const VideoPacket packet = test::keyFrame(1.0);
    video->append(packet);
    EXPECT_EQ(video->snapshot().front().data.data(), packet.data.data());
}

// Several producers append while readers take snapshots; run under TSan in CI.
TEST(RingBuffer, ConcurrentAppendsAndSnapshotsStayConsistent) {
    auto store = AudioRingBuffer::create();
    store->setMaxDuration(0.5);
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> clock{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < 3; ++p) {
        threads.emplace_back([&] {
            for (int i = 0; i < 3000; ++i) {
                store->append(sampleAt(MediaTime(clock.fetch_add(1), 1000)));
            }
        });
    }
    std::atomic<int> violations{0};
    threads.emplace_back([&] {
        while (!stop) {
            const auto snapshot = store->snapshot();
            if (snapshot.size() >= 2) {
                const double span =
                    subtract(snapshot.back().presentationTime, snapshot.front().presentationTime).seconds();
                // Out-of-order appends across producers may make the span negative, never too long.
                if (span > 0.5) {
                    violations.fetch_add(1);
                }
            }
            (void)store->count();
        }
    });
    for (int p = 0; p < 3; ++p) {
        threads[static_cast<std::size_t>(p)].join();
    }
    stop = true;
    threads.back().join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_LE(store->count(), 600u);
}
