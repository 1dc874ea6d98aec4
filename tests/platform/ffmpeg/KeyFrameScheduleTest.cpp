#include "platform/ffmpeg/KeyFrameSchedule.h"

#include <gtest/gtest.h>
#include <vector>

using namespace backreel;

namespace {

// The PTS of the frames the schedule forces to be key frames.
std::vector<std::int64_t> forcedAt(KeyFrameSchedule schedule, const std::vector<std::int64_t>& ticks) {
    std::vector<std::int64_t> forced;
    for (std::size_t index = 0; index < ticks.size(); ++index) {
        if (schedule.shouldForceKeyFrame(static_cast<std::int64_t>(index), ticks[index])) {
            forced.push_back(ticks[index]);
        }
    }
    return forced;
}

} // namespace

TEST(KeyFrameSchedule, TheFirstFrameThenEveryIntervalOfFramesOrOfPts) {
    EXPECT_EQ(forcedAt(KeyFrameSchedule(4, 0), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}),
              (std::vector<std::int64_t>{0, 4, 8}));
    // Irregular arrival: the limit counts PTS, not frames.
    EXPECT_EQ(forcedAt(KeyFrameSchedule(0, 45000), {7, 3000, 6000, 51000, 54000, 95999, 96000, 200000}),
              (std::vector<std::int64_t>{7, 51000, 96000, 200000}));
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
