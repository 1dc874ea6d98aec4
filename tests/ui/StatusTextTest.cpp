#include "ui/StatusText.h"

#include "capture/RecordingManager.h"
#include "ui/DisplayName.h"
#include "ui/SystemColors.h"
#include "ui/TextStyle.h"

#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>

using namespace backreel;

namespace {
backreel::Display display(std::uint32_t id, QString name) {
    return backreel::Display{id, 1920, 1080, QRectF(0, 0, 1920, 1080), std::move(name)};
}

QFont testFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    return font;
}
} // namespace

TEST(StatusText, FileNamesAndAmpersandsAreShownAsTheyAre) {
    EXPECT_EQ(savedFileName(QUrl::fromLocalFile(QStringLiteral("/tmp/with space & ümlaut #1.mp4"))),
              QStringLiteral("with space & ümlaut #1.mp4"));
    EXPECT_EQ(savedFileName(QUrl::fromLocalFile(QStringLiteral("/tmp/folder/"))), QStringLiteral("folder"));
    EXPECT_EQ(literalMnemonicText(QStringLiteral("Stop & Save")), QStringLiteral("Stop && Save"));
    EXPECT_TRUE(QKeySequence::mnemonic(literalMnemonicText(QStringLiteral("Stop & Save"))).isEmpty());
}

TEST(StatusText, LongTextWrapsOntoTheLinesAllowedAndIsCutAfterThem) {
    const QFont font = testFont();
    EXPECT_EQ(wrappedText(QStringLiteral("No display found."), font, 240, 2),
              QStringLiteral("No display found."));
    EXPECT_EQ(wrappedText(QStringLiteral("one two three"), font, 1000, 3), QStringLiteral("one two three"));
    EXPECT_EQ(wrappedText(QStringLiteral("text"), font, 0, 2), QString());
    EXPECT_EQ(wrappedText(QStringLiteral("text"), font, 100, 0), QString());

    const QString message =
        QStringLiteral("Save failed: The file could not be written because the disk is full and "
                       "nothing more fits on it, not even a single frame of the clip you wanted.");
    const QStringList lines = wrappedText(message, font, 200, 2).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    for (const QString& line : lines) {
        EXPECT_LE(QFontMetrics(font).horizontalAdvance(line), 200) << line.toStdString();
    }
    // The second line goes on where the first stopped, and ends cut.
    EXPECT_TRUE(message.startsWith(lines[0]));
    EXPECT_EQ(message.indexOf(lines[1].chopped(1).trimmed()), lines[0].size() + 1);
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026))) << lines[1].toStdString();

    // A line break in the message ends a line.
    const QStringList broken =
        wrappedText(RecordingManager::kPermissionMessage, font, 250, 2).split(QLatin1Char('\n'));
    ASSERT_EQ(broken.size(), 2);
    EXPECT_EQ(broken[0], QStringLiteral("Screen Recording permission required."));
    EXPECT_TRUE(broken[1].startsWith(QStringLiteral("Enable it in System Settings")));
}

TEST(StatusText, LongFileNamesKeepTheirStartAndEnd) {
    const QString shown = middleElidedText(
        QStringLiteral("loopvane-2024-05-01-101500-a-very-long-name-that-goes-on-and-on-and-on.mp4"),
        testFont(), 180);
    EXPECT_LE(QFontMetrics(testFont()).horizontalAdvance(shown), 180);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("loopvane")) && shown.endsWith(QStringLiteral(".mp4")) &&
                shown.contains(QChar(0x2026)))
        << shown.toStdString();
    EXPECT_EQ(middleElidedText(QStringLiteral("a.mp4"), testFont(), 180), QStringLiteral("a.mp4"));
}

TEST(DisplayName, NameAndModelOfTheMatchingScreenElseTheDisplaysNumber) {
    const std::vector<ScreenDescription> screens = {{QStringLiteral("eDP-1"), QString()},
                                                    {QStringLiteral("DP-1"), QStringLiteral("DELL U2720Q")},
                                                    {QString(), QStringLiteral("Model")}};
    EXPECT_EQ(displayName(display(11, QStringLiteral("DP-1")), screens),
              QStringLiteral("DP-1 (DELL U2720Q)"));
    EXPECT_EQ(displayName(display(10, QStringLiteral("eDP-1")), screens), QStringLiteral("eDP-1"));
    EXPECT_EQ(displayName(display(4242, QStringLiteral("HDMI-1")), screens), QStringLiteral("Display 4242"));
    // A display without a name never matches a screen without one.
    EXPECT_EQ(displayName(display(8, QString()), screens), QStringLiteral("Display 8"));

    const std::vector<ScreenDescription> current = currentScreens();
    ASSERT_EQ(current.size(), static_cast<std::size_t>(QGuiApplication::screens().size()));
    EXPECT_EQ(current.front().name, QGuiApplication::primaryScreen()->name());
}

TEST(TextStyle, StylesKeepTheirProportionsToTheDesktopFontAndStayReadable) {
    QFont base(QStringLiteral("DejaVu Sans"));
    base.setPointSizeF(13);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::headline, QFont::DemiBold, base).pointSizeF(), 13);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::callout, QFont::Normal, base).pointSizeF(), 12);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pointSizeF(), 10);
    EXPECT_EQ(textStyleFont(TextStyle::callout, QFont::Medium, base).weight(), QFont::Medium);
    base.setPointSizeF(8);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pointSizeF(), kMinimumPointSize);
    QFont pixels(QStringLiteral("DejaVu Sans"));
    pixels.setPixelSize(26);
    EXPECT_EQ(textStyleFont(TextStyle::caption, QFont::Normal, pixels).pixelSize(), 20);
    pixels.setPixelSize(10);
    EXPECT_EQ(textStyleFont(TextStyle::caption, QFont::Normal, pixels).pixelSize(), kMinimumPixelSize);
    EXPECT_EQ(textStyleFont(TextStyle::headline).weight(), QFont::DemiBold);
}

TEST(SystemColors, GreenAndRedSuitTheLightOrDarkPalette) {
    QPalette light;
    light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2a, 0x2a));
    EXPECT_FALSE(system_colors::isDark(light));
    EXPECT_TRUE(system_colors::isDark(dark));
    EXPECT_NE(system_colors::green(light), system_colors::green(dark));
    EXPECT_NE(system_colors::red(light), system_colors::red(dark));
    for (const QPalette& palette : {light, dark}) {
        EXPECT_GT(system_colors::green(palette).green(), system_colors::green(palette).red());
        EXPECT_GT(system_colors::red(palette).red(), system_colors::red(palette).green());
    }
}
