#include "core/media/MediaTime.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace backreel;

TEST(MediaTime, ArithmeticAcrossTimeScalesIsExactAndInvalidTimePropagates) {
    const MediaTime third(1, 3);
    const MediaTime half(1, 2);
    const MediaTime sum = add(third, half);
    EXPECT_EQ(compare(sum, MediaTime(5, 6)), 0);
    EXPECT_DOUBLE_EQ(sum.seconds(), 5.0 / 6.0);
    EXPECT_EQ(compare(subtract(third, half), MediaTime(-1, 6)), 0);
    // 1/30 s frame steps at the 90 kHz scale stay exact.
    MediaTime t = MediaTime::makeWithSeconds(100.0, kTimeScale);
    for (int i = 0; i < 30; ++i) {
        t = add(t, MediaTime(1, 30));
    }
    EXPECT_EQ(compare(t, MediaTime::makeWithSeconds(101.0, kTimeScale)), 0);

    const MediaTime invalid = MediaTime::invalid();
    EXPECT_FALSE(invalid.isValid());
    EXPECT_TRUE(std::isnan(invalid.seconds()));
    EXPECT_FALSE(add(invalid, MediaTime(1, 1)).isValid());
    EXPECT_FALSE(subtract(MediaTime(1, 1), invalid).isValid());
    EXPECT_TRUE(std::isnan(subtract(MediaTime(1, 1), invalid).seconds()));
    EXPECT_FALSE(MediaTime(5, 0).isValid());
    EXPECT_EQ(compare(invalid, MediaTime::invalid()), 0);
    EXPECT_LT(compare(invalid, MediaTime(-100, 1)), 0);

    EXPECT_EQ(compare(MediaTime(1, 10), MediaTime(2, 10)), -1);
    EXPECT_EQ(compare(MediaTime(9000, kTimeScale), MediaTime(1, 10)), 0);
    EXPECT_EQ(compare(MediaTime(3, 10), MediaTime(2, 10)), 1);
    // Large monotonic-clock values at different scales do not overflow.
    const MediaTime a(INT64_C(9'000'000'000'000'000), 1'000'000'000);
    const MediaTime b(INT64_C(810'000'000'000), kTimeScale);
    EXPECT_EQ(compare(a, b), 0);

    EXPECT_EQ(MediaTime::makeWithSeconds(0.1, kTimeScale).value(), 9000);
    EXPECT_EQ(MediaTime::makeWithSeconds(10.75, kTimeScale).value(), 967500);
    EXPECT_EQ(MediaTime::makeWithSeconds(-0.5 / kTimeScale, kTimeScale).value(), -1);
    EXPECT_FALSE(MediaTime::makeWithSeconds(std::nan(""), kTimeScale).isValid());
}
