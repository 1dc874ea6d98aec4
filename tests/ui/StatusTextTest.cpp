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

TEST(StatusText, TitlesOfTheFiveStatuses) {
    EXPECT_EQ(statusTitle(RecordingStatus::idle()), QStringLiteral("Ready"));
    EXPECT_EQ(statusTitle(RecordingStatus::buffering()), QStringLiteral("Recording…"));
    EXPECT_EQ(statusTitle(RecordingStatus::saving()), QStringLiteral("Saving…"));
    EXPECT_EQ(statusTitle(RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4")))),
              QStringLiteral("Saved!"));
    // The message is shown unchanged, line break included.
    EXPECT_EQ(statusTitle(RecordingStatus::error(RecordingManager::kPermissionMessage)),
              RecordingManager::kPermissionMessage);
    // The ellipses are the single character U+2026.
    EXPECT_EQ(statusTitle(RecordingStatus::saving()).size(), 7);
}

TEST(StatusText, SavedFileNameIsTheLastPathComponentVerbatim) {
    EXPECT_EQ(
        savedFileName(QUrl::fromLocalFile(QStringLiteral("/home/me/Videos/loopvane-2024-05-01-101500.mp4"))),
        QStringLiteral("loopvane-2024-05-01-101500.mp4"));
    EXPECT_EQ(savedFileName(QUrl::fromLocalFile(QStringLiteral("/tmp/with space & ümlaut #1.mp4"))),
              QStringLiteral("with space & ümlaut #1.mp4"));
    EXPECT_EQ(savedFileName(QUrl::fromLocalFile(QStringLiteral("/tmp/folder/"))), QStringLiteral("folder"));
}

TEST(StatusText, AmpersandsAreShownNotTakenAsShortcutKeys) {
    EXPECT_EQ(literalMnemonicText(QStringLiteral("Stop & Save")), QStringLiteral("Stop && Save"));
    EXPECT_EQ(literalMnemonicText(QStringLiteral("Show Window")), QStringLiteral("Show Window"));
    EXPECT_TRUE(QKeySequence::mnemonic(literalMnemonicText(QStringLiteral("Stop & Save"))).isEmpty());
    EXPECT_FALSE(QKeySequence::mnemonic(QStringLiteral("Stop & Save")).isEmpty());
}

TEST(StatusText, ShortTextStaysOnOneLine) {
    EXPECT_EQ(wrappedText(QStringLiteral("No display found."), testFont(), 240, 2),
              QStringLiteral("No display found."));
}

TEST(StatusText, LongTextWrapsOntoASecondLineAndIsCutAfterIt) {
    const QFont font = testFont();
    const QString message =
        QStringLiteral("Save failed: The file could not be written because the disk is full and "
                       "nothing more fits on it, not even a single frame of the clip you wanted.");
    const QString twoLines = wrappedText(message, font, 200, 2);
    const QStringList lines = twoLines.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    const QFontMetrics metrics(font);
    for (const QString& line : lines) {
        EXPECT_LE(metrics.horizontalAdvance(line), 200) << line.toStdString();
    }
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Save failed: The file")));
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026))) << lines[1].toStdString();
    // The second line goes on where the first stopped.
    EXPECT_TRUE(message.startsWith(lines[0]));
    EXPECT_EQ(message.indexOf(lines[1].chopped(1).trimmed()), lines[0].size() + 1);

    // Three lines allowed: nothing is cut as long as it fits.
    EXPECT_EQ(wrappedText(QStringLiteral("one two three"), font, 1000, 3), QStringLiteral("one two three"));
}

TEST(StatusText, LineBreaksInTheMessageEndALine) {
    const QString wrapped = wrappedText(RecordingManager::kPermissionMessage, testFont(), 250, 2);
    const QStringList lines = wrapped.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Screen Recording permission required."));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Enable it in System Settings")));
    EXPECT_TRUE(lines[1].endsWith(QChar(0x2026)));
}

TEST(StatusText, WrappingWithoutRoomGivesNothing) {
    EXPECT_EQ(wrappedText(QStringLiteral("text"), testFont(), 0, 2), QString());
    EXPECT_EQ(wrappedText(QStringLiteral("text"), testFont(), 100, 0), QString());
}

TEST(StatusText, LongFileNamesKeepTheirStartAndEnd) {
    const QString name =
        QStringLiteral("loopvane-2024-05-01-101500-a-very-long-name-that-goes-on-and-on-and-on.mp4");
    const QString shown = middleElidedText(name, testFont(), 180);
    EXPECT_LE(QFontMetrics(testFont()).horizontalAdvance(shown), 180);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("loopvane"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".mp4"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_EQ(middleElidedText(QStringLiteral("a.mp4"), testFont(), 180), QStringLiteral("a.mp4"));
}

TEST(DisplayName, NameAndModelOfTheMatchingScreen) {
    const std::vector<ScreenDescription> screens = {{QStringLiteral("eDP-1"), QString()},
                                                    {QStringLiteral("DP-1"), QStringLiteral("DELL U2720Q")}};
    EXPECT_EQ(displayName(display(11, QStringLiteral("DP-1")), screens),
              QStringLiteral("DP-1 (DELL U2720Q)"));
    EXPECT_EQ(displayName(display(10, QStringLiteral("eDP-1")), screens), QStringLiteral("eDP-1"));
}

TEST(DisplayName, DisplayAndItsNumberWithoutAMatchingScreen) {
    const std::vector<ScreenDescription> screens = {{QStringLiteral("DP-1"), QStringLiteral("DELL")}};
    EXPECT_EQ(displayName(display(4242, QStringLiteral("HDMI-1")), screens), QStringLiteral("Display 4242"));
    EXPECT_EQ(displayName(display(7, QString()), screens), QStringLiteral("Display 7"));
    EXPECT_EQ(displayName(display(7, QStringLiteral("DP-1")), {}), QStringLiteral("Display 7"));
    // A screen without a name never matches a display without one.
    EXPECT_EQ(displayName(display(8, QString()), {{QString(), QStringLiteral("Model")}}),
              QStringLiteral("Display 8"));
}

TEST(DisplayName, ThisSessionsScreensAreListed) {
    const std::vector<ScreenDescription> screens = currentScreens();
    ASSERT_EQ(screens.size(), static_cast<std::size_t>(QGuiApplication::screens().size()));
    if (!screens.empty()) {
        EXPECT_EQ(screens.front().name, QGuiApplication::screens().front()->name());
        EXPECT_EQ(displayName(display(1, screens.front().name), screens).left(screens.front().name.size()),
                  screens.front().name);
    }
}

TEST(TextStyle, StylesKeepTheirProportionsToTheDesktopFont) {
    QFont base(QStringLiteral("DejaVu Sans"));
    base.setPointSizeF(13);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::body, QFont::Normal, base).pointSizeF(), 13);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::headline, QFont::DemiBold, base).pointSizeF(), 13);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::callout, QFont::Normal, base).pointSizeF(), 12);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pointSizeF(), 10);
    EXPECT_EQ(textStyleFont(TextStyle::callout, QFont::Medium, base).weight(), QFont::Medium);
    EXPECT_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).family(), base.family());

    // Small desktop fonts: the caption stops at the readable minimum.
    base.setPointSizeF(8);
    EXPECT_DOUBLE_EQ(textStyleFont(TextStyle::caption, QFont::Normal, base).pointSizeF(), kMinimumPointSize);
    QFont pixels(QStringLiteral("DejaVu Sans"));
    pixels.setPixelSize(26);
    EXPECT_EQ(textStyleFont(TextStyle::caption, QFont::Normal, pixels).pixelSize(), 20);
    pixels.setPixelSize(10);
    EXPECT_EQ(textStyleFont(TextStyle::caption, QFont::Normal, pixels).pixelSize(), kMinimumPixelSize);
    // The application-wide forms use the headline's semibold weight.
    EXPECT_EQ(textStyleFont(TextStyle::headline).weight(), QFont::DemiBold);
    EXPECT_EQ(textStyleFont(TextStyle::callout).weight(), QFont::Normal);
}

TEST(SystemColors, FollowTheLightOrDarkPalette) {
    QPalette light;
    light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2a, 0x2a));
    EXPECT_FALSE(system_colors::isDark(light));
    EXPECT_TRUE(system_colors::isDark(dark));
    EXPECT_EQ(system_colors::windowBackground(light), QColor(0xef, 0xef, 0xef));
    EXPECT_EQ(system_colors::controlBackground(light), QColor(Qt::white));
    EXPECT_EQ(system_colors::secondaryText(light), QColor(0x80, 0x80, 0x80));
    EXPECT_NE(system_colors::green(light), system_colors::green(dark));
    EXPECT_NE(system_colors::red(light), system_colors::red(dark));
    // Green is green and red is red in both themes.
    for (const QPalette& palette : {light, dark}) {
        EXPECT_GT(system_colors::green(palette).green(), system_colors::green(palette).red());
        EXPECT_GT(system_colors::red(palette).red(), system_colors::red(palette).green());
    }
}
