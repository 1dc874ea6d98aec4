#include "platform/log/Log.h"

#include "platform/Settings.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QSettings>

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

TEST(Settings, BooleansReadBackAndAnythingElseIsFalse) {
    EXPECT_FALSE(Settings::boolValue(QStringLiteral("test.absent")));
    for (const bool value : {true, false}) {
        Settings::setBoolValue(QStringLiteral("test.flag"), value);
        EXPECT_EQ(Settings::boolValue(QStringLiteral("test.flag")), value);
    }
    QSettings(QStringLiteral("strandloft"), QStringLiteral("Backreel"))
        .setValue(QStringLiteral("test.garbage"), "banana");
    EXPECT_FALSE(Settings::boolValue(QStringLiteral("test.garbage")));
}
