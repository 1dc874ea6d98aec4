#include "platform/ffmpeg/KeyFrameSchedule.h"

#include <gtest/gtest.h>

using namespace backreel;

TEST(KeyFrameSchedule, FirstFrameIsAlwaysKey) {
    KeyFrameSchedule schedule(30, 45000);
    EXPECT_TRUE(schedule.shouldForceKeyFrame(0, 123456));
    EXPECT_FALSE(schedule.shouldForceKeyFrame(1, 126456));
}

TEST(KeyFrameSchedule, FrameCountLimit) {
    KeyFrameSchedule schedule(4, 0);
    std::vector<int> forced;
    for (int i = 0; i < 10; ++i) {
        if (schedule.shouldForceKeyFrame(i, i * 3000)) {
            forced.push_back(i);
        }
    }
    EXPECT_EQ(forced, (std::vector<int>{0, 4, 8}));
}

TEST(KeyFrameSchedule, DurationLimitCountsPtsNotFrames) {
    KeyFrameSchedule schedule(0, 45000);
    const std::int64_t ticks[] = {0, 3000, 6000, 51000, 54000, 95999, 96000, 200000};
    std::vector<std::int64_t> forced;
    std::int64_t index = 0;
    for (const std::int64_t tick : ticks) {
        if (schedule.shouldForceKeyFrame(index++, tick)) {
            forced.push_back(tick);
        }
    }
    EXPECT_EQ(forced, (std::vector<std::int64_t>{0, 51000, 96000, 200000}));
}

TEST(KeyFrameSchedule, KeyFramesTheEncoderMadeRestartTheCount) {
    KeyFrameSchedule schedule(10, 0);
    EXPECT_TRUE(schedule.shouldForceKeyFrame(0, 0));
    for (int i = 1; i < 6; ++i) {
        EXPECT_FALSE(schedule.shouldForceKeyFrame(i, i));
    }
    schedule.noteKeyFrame(5, 5); // a scene cut
    schedule.noteKeyFrame(2, 2); // late news of an older one changes nothing
    for (int i = 6; i < 15; ++i) {
        EXPECT_FALSE(schedule.shouldForceKeyFrame(i, i)) << i;
    }
    EXPECT_TRUE(schedule.shouldForceKeyFrame(15, 15));
}
