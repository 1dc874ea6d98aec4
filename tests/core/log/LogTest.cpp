#include "core/log/Log.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

using namespace backreel;

// The journal is filtered by these category names; debug traces stay off unless asked for.
TEST(Log, CategoriesAndLevels) {
    EXPECT_STREQ(recordingCategory().categoryName(), "com.strandloft.Backreel.Recording");
    EXPECT_FALSE(recordingCategory().isDebugEnabled());
    test::LogCapture capture;
    Logger::recording().error(QStringLiteral("one"));
    Logger::windowPicker().debug(QStringLiteral("two"));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].level == QtCriticalMsg && lines[0].category == QStringLiteral("Recording"));
    EXPECT_TRUE(lines[1].level == QtDebugMsg && lines[1].category == QStringLiteral("WindowPicker"));
}
