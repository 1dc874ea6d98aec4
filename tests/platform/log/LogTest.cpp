#include "platform/Settings.h"
#include "platform/log/Log.h"
#include "support/LogCapture.h"

#include <QSettings>
#include <gtest/gtest.h>

using namespace backreel;

TEST(Log, CategoriesLevelsAndDebugOffByDefault) {
    EXPECT_STREQ(recordingCategory().categoryName(), "com.strandloft.Backreel.Recording");
    EXPECT_STREQ(windowPickerCategory().categoryName(), "com.strandloft.Backreel.WindowPicker");
    EXPECT_TRUE(recordingCategory().isInfoEnabled());
    EXPECT_FALSE(recordingCategory().isDebugEnabled());

    test::LogCapture capture;
    Logger::recording().info(QStringLiteral("[Start] one"));
    Logger::recording().error(QStringLiteral("[Start] two"));
    Logger::windowPicker().debug(QStringLiteral("three"));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].level, QtInfoMsg);
    EXPECT_EQ(lines[0].category, QStringLiteral("Recording"));
    EXPECT_EQ(lines[1].level, QtCriticalMsg);
    EXPECT_EQ(lines[2].level, QtDebugMsg);
    EXPECT_EQ(lines[2].category, QStringLiteral("WindowPicker"));
}

TEST(Log, NumbersAreFormattedLikePrintf) {
    EXPECT_EQ(fixed(10.0, 0), QStringLiteral("10"));
    EXPECT_EQ(fixed(10.75, 1), QStringLiteral("10.8"));
    EXPECT_EQ(fixed(100.5, 3), QStringLiteral("100.500"));
    EXPECT_EQ(fixed(48000, 6), QStringLiteral("48000.000000"));
    EXPECT_EQ(boolText(true), QStringLiteral("true"));
}

TEST(Settings, MuteKeyIsStoredAsABoolean) {
    EXPECT_FALSE(Settings::boolValue(QStringLiteral("test.absent")));
    Settings::setBoolValue(QStringLiteral("test.flag"), true);
    EXPECT_TRUE(Settings::boolValue(QStringLiteral("test.flag")));
    Settings::setBoolValue(QStringLiteral("test.flag"), false);
    EXPECT_FALSE(Settings::boolValue(QStringLiteral("test.flag")));
    QSettings raw(QStringLiteral("strandloft"), QStringLiteral("Backreel"));
    raw.setValue(QStringLiteral("test.garbage"), QStringLiteral("banana"));
    raw.sync();
    EXPECT_FALSE(Settings::boolValue(QStringLiteral("test.garbage")));
    EXPECT_EQ(Settings::kMuteNotificationsKey, QStringLiteral("com.loopvane.muteNotifications"));
}
