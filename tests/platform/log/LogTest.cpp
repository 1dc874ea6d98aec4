#include "platform/log/Log.h"

#include "platform/Settings.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QSettings>

using namespace backreel;

// The journal is filtered by these category names, and debug traces stay off unless asked for.
TEST(Log, CategoriesAndLevels) {
    EXPECT_STREQ(recordingCategory().categoryName(), "com.strandloft.Backreel.Recording");
    EXPECT_STREQ(windowPickerCategory().categoryName(), "com.strandloft.Backreel.WindowPicker");
    EXPECT_TRUE(recordingCategory().isInfoEnabled());
    EXPECT_FALSE(recordingCategory().isDebugEnabled());

    test::LogCapture capture;
    Logger::recording().info(QStringLiteral("one"));
    Logger::recording().error(QStringLiteral("two"));
    Logger::windowPicker().debug(QStringLiteral("three"));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].level, QtInfoMsg);
    EXPECT_EQ(lines[0].category, QStringLiteral("Recording"));
    EXPECT_EQ(lines[1].level, QtCriticalMsg);
    EXPECT_EQ(lines[2].level, QtDebugMsg);
    EXPECT_EQ(lines[2].category, QStringLiteral("WindowPicker"));
}

TEST(Settings, BooleansReadBackAndAnythingElseIsFalse) {
    EXPECT_FALSE(Settings::boolValue(QStringLiteral("test.absent")));
    Settings::setBoolValue(QStringLiteral("test.flag"), true);
    EXPECT_TRUE(Settings::boolValue(QStringLiteral("test.flag")));
    Settings::setBoolValue(QStringLiteral("test.flag"), false);
    EXPECT_FALSE(Settings::boolValue(QStringLiteral("test.flag")));
    QSettings(QStringLiteral("strandloft"), QStringLiteral("Backreel"))
        .setValue(QStringLiteral("test.garbage"), QStringLiteral("banana"));
    EXPECT_FALSE(Settings::boolValue(QStringLiteral("test.garbage")));
}
