#include "capture/MemoryLimit.h"

#include <gtest/gtest.h>

using namespace backreel;

// The main window's line under the pickers: decimal sizes of what the buffer capacity holds (the
// duration and 0.75 s, video and 24 kB/s of each sound), and the over-limit warning only when the
// estimate passes the limit's bytes, which are binary though labelled as picked.
TEST(MemoryLimit, TheEstimateAndTheLimitAsTheMainWindowShowsThem) {
    const MemoryLimit twoGigabytes = MemoryLimit::defaultLimit();
    EXPECT_EQ(bufferEstimateText(RecordingDuration::threeMinutes, 20'000'000, twoGigabytes),
              QStringLiteral("up to 456 MB for 3 min at 20 Mbit/s, usually less"));
    EXPECT_EQ(
        bufferEstimateText(RecordingDuration::threeMinutes, 200'000'000, twoGigabytes),
        QStringLiteral(
            "up to 4.5 GB for 3 min at 200 Mbit/s — more than the 2 GB limit; the oldest seconds go first"));
    EXPECT_EQ(bufferEstimateText(RecordingDuration::tenSeconds, 10'000'000, MemoryLimit::choices().front()),
              QStringLiteral("up to 14 MB for 10 sec at 10 Mbit/s, usually less"));
    EXPECT_EQ(
        bufferEstimateText(RecordingDuration::threeMinutes, 20'000'000, MemoryLimit::choices().front(), 2),
        QStringLiteral("up to 461 MB for 3 min at 20 Mbit/s, usually less"))
        << "a microphone's sound is kept like the system's";
    // 456 MB fits the "512 MB" limit, which is 537 MB; at 24 Mbit/s it does not.
    EXPECT_FALSE(
        bufferEstimateText(RecordingDuration::threeMinutes, 20'000'000, MemoryLimit::choices().front())
            .contains(QStringLiteral("more than")));
    EXPECT_EQ(
        bufferEstimateText(RecordingDuration::threeMinutes, 24'000'000, MemoryLimit::choices().front()),
        QStringLiteral("up to 547 MB for 3 min at 24 Mbit/s — more than the 512 MB limit; the oldest seconds "
                       "go first"));

    EXPECT_EQ(MemoryLimit(300'000).label(), QStringLiteral("300 kB"));
    EXPECT_EQ(decimalSize(1'249'999), QStringLiteral("1.2 MB"));
    EXPECT_EQ(decimalSize(9'960'000), QStringLiteral("10 MB"));
    EXPECT_EQ(decimalSize(999'600'000), QStringLiteral("1 GB"));
    EXPECT_EQ(memoryLimitNote(41.6), QStringLiteral("memory limit: the buffer holds only 42 s"));
}
