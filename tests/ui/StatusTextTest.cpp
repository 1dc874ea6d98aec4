#include "ui/StatusText.h"

#include "support/WidgetTest.h"
#include "ui/DisplayName.h"
#include "ui/TextStyle.h"

#include <QFontMetrics>

using namespace backreel;
using test::display;

// The status line's own tests show the usual cases; these are the edges.
TEST(StatusText, FileNamesVerbatimAndMessagesWrappedAtTheirLineBreaks) {
    EXPECT_EQ(savedFileName(QUrl::fromLocalFile(QStringLiteral("/tmp/with space & ümlaut #1.mp4"))),
              QStringLiteral("with space & ümlaut #1.mp4"));
    EXPECT_EQ(savedFileName(QUrl::fromLocalFile(QStringLiteral("/tmp/folder/"))), QStringLiteral("folder"));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    EXPECT_EQ(wrappedText(QStringLiteral("text"), font, 0, 2) +
                  wrappedText(QStringLiteral("text"), font, 100, 0),
              QString());
    const QString message(
        QStringLiteral("Save failed: The file could not be written because the disk is full and "
                       "nothing more fits on it, not even a single frame."));
    const QStringList lines = wrappedText(message, font, 200, 2).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_LE(QFontMetrics(font).horizontalAdvance(lines[1]), 200);
    EXPECT_EQ(message.indexOf(lines[1].chopped(1).trimmed()),
              lines[0].size() + 1); // goes on where the first stopped
    const QStringList broken =
        wrappedText(QStringLiteral("Permission required.\nEnable it in System Settings, "
                                   "then start Backreel again, please."),
                    font, 250, 2)
            .split(QLatin1Char('\n'));
    ASSERT_EQ(broken.size(), 2);
    EXPECT_EQ(broken[0], QStringLiteral("Permission required."));
    EXPECT_TRUE(broken[1].startsWith(QStringLiteral("Enable it in System Settings")));
}

TEST(StatusText, ABufferingNoteFollowsTheTitleAndBelongsToBufferingOnly) {
    const RecordingStatus lacking = RecordingStatus::buffering(QStringLiteral("no system audio: gone"));
    EXPECT_EQ(statusTitle(lacking), QStringLiteral("Recording… (no system audio: gone)"));
    EXPECT_EQ(lacking.message(), QString());
    EXPECT_NE(lacking, RecordingStatus::buffering());
    EXPECT_EQ(RecordingStatus::error(QStringLiteral("x")).note(), QString());
}

// The main window's own test shows names without a model and the display's number.
TEST(DisplayName, NameAndModelOfTheMatchingScreen) {
    const std::vector<ScreenDescription> screens = {{QStringLiteral("DP-1"), QStringLiteral("DELL U2720Q")}};
    EXPECT_EQ(displayName(display(11, QStringLiteral("DP-1")), screens),
              QStringLiteral("DP-1 (DELL U2720Q)"));
}

// Smaller styles keep their proportion to the desktop's font, but stay readable.
TEST(TextStyle, SmallStylesStopAtTheReadableMinimum) {
    QFont base(QStringLiteral("DejaVu Sans"));
    base.setPointSizeF(13);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pointSizeF(), 10);
    base.setPointSizeF(8);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pointSizeF(), kMinimumPointSize);
    base.setPixelSize(10);
    EXPECT_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pixelSize(), kMinimumPixelSize);
    EXPECT_EQ(textStyleFont(TextStyle::headline).weight(), QFont::DemiBold);
}
