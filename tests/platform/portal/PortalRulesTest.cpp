#include "platform/portal/PortalRules.h"

#include "platform/pixels/FrameClock.h"
#include "platform/portal/PortalPicture.h"
#include "platform/portal/ShortcutTriggers.h"

#include <array>
#include <gtest/gtest.h>
#include <QDBusObjectPath>

namespace backreel::portal {

TEST(PortalRules, RequestsShortcutTriggersCropsPicturesAndTimes) {
    EXPECT_EQ(cropOf(std::nullopt, 1920, 1080), (pixels::PixelRect{0, 0, 1920, 1080}));
    EXPECT_EQ(cropOf(pixels::PixelRect{100, 50, 800, 600}, 1920, 1080),
              (pixels::PixelRect{100, 50, 800, 600}));
    EXPECT_EQ(cropOf(pixels::PixelRect{1800, 0, 400, 100}, 1920, 1080),
              (pixels::PixelRect{1800, 0, 120, 100}));
    EXPECT_EQ(cropOf(pixels::PixelRect{3000, 0, 10, 10}, 1920, 1080), (pixels::PixelRect{0, 0, 1920, 1080}))
        << "a crop outside the picture is ignored";

    const pixels::PixelRect crop{0, 0, 2560, 1440};
    EXPECT_EQ(visibleArea(crop, std::nullopt, QSizeF(1280, 720)), crop);
    // A display scaled 2×: the region's points are two pixels each.
    EXPECT_EQ(visibleArea(crop, QRectF(100, 50, 300, 200), QSizeF(1280, 720)),
              (pixels::PixelRect{200, 100, 600, 400}));
    // The crop moves the region; what lies outside it is left out.
    EXPECT_EQ(
        visibleArea(pixels::PixelRect{10, 20, 1280, 720}, QRectF(1200, 700, 200, 100), QSizeF(1280, 720)),
        (pixels::PixelRect{1210, 720, 80, 20}));
    EXPECT_TRUE(visibleArea(crop, QRectF(2000, 0, 10, 10), QSizeF(1280, 720)).isEmpty());
    EXPECT_TRUE(visibleArea(crop, QRectF(0, 0, 10, 10), QSizeF(0, 720)).isEmpty());

    const std::int64_t arrival = 5'000'000'000;
    EXPECT_EQ(presentationTimeOf(4'990'000'000, arrival), pixels::monotonicMediaTime(4, 990'000'000));
    EXPECT_EQ(presentationTimeOf(std::nullopt, arrival), pixels::monotonicMediaTime(5, 0));
    EXPECT_EQ(presentationTimeOf(5'100'000'000, arrival), pixels::monotonicMediaTime(5, 0))
        << "from the future";
    EXPECT_EQ(presentationTimeOf(1'000, arrival), pixels::monotonicMediaTime(5, 0)) << "another clock";

    const MediaTime interval(1, 30);
    EXPECT_EQ(handOnTime(MediaTime(10, 1), MediaTime::invalid(), interval), MediaTime(10, 1));
    EXPECT_EQ(handOnTime(MediaTime(10, 1), MediaTime(9, 1), interval), MediaTime(10, 1));
    EXPECT_EQ(handOnTime(MediaTime(900'100, kTimeScale), MediaTime(900'000, kTimeScale), interval),
              MediaTime(903'000, kTimeScale));
    EXPECT_EQ(handOnTime(MediaTime(899'000, kTimeScale), MediaTime(900'000, kTimeScale), interval),
              MediaTime(903'000, kTimeScale))
        << "a picture stamped before the tick that went out";

    // A 4×2 RGBA picture: left half red, right half blue (R, G, B, A in memory).
    const std::array<std::uint8_t, 32> rgba{255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255,
                                            255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    const SourcePicture source{reinterpret_cast<const std::byte*>(rgba.data()),
                               4,
                               2,
                               16,
                               PixelOrder::rgba,
                               pixels::PixelRect{0, 0, 4, 2},
                               MediaTime()};
    std::array<std::uint32_t, 2> output{};
    const pixels::PixelView destination{reinterpret_cast<std::byte*>(output.data()), 2, 1, 8};
    std::vector<std::byte> scratch;
    // Only the right half, a square: one blue pixel (BGRA's 32-bit word is 0xAARRGGBB), then a bar.
    ASSERT_TRUE(renderPicture(source, pixels::PixelRect{2, 0, 2, 2}, destination, scratch));
    EXPECT_EQ(output, (std::array<std::uint32_t, 2>{0xFF0000FF, 0xFF000000}));
    // The whole picture keeps its aspect: 4×2 into 2×1, red then blue.
    ASSERT_TRUE(renderPicture(source, pixels::PixelRect{0, 0, 4, 2}, destination, scratch));
    EXPECT_EQ(output, (std::array<std::uint32_t, 2>{0xFFFF0000, 0xFF0000FF}));
    EXPECT_FALSE(renderPicture(source, pixels::PixelRect{8, 8, 2, 2}, destination, scratch));
    EXPECT_EQ(output[0], 0xFF000000u);

    EXPECT_EQ(senderPathPart(QStringLiteral(":1.42")), QStringLiteral("1_42"));
    EXPECT_EQ(requestPath(QStringLiteral(":1.7"), QStringLiteral("backreel3")),
              QStringLiteral("/org/freedesktop/portal/desktop/request/1_7/backreel3"));
    EXPECT_EQ(sourceTypeFor(ContentKind::region), source_type::kMonitor) << "a region is cut from a monitor";
    EXPECT_EQ(cursorModeFor(cursor_mode::kHidden | cursor_mode::kEmbedded | 4), cursor_mode::kEmbedded);
    EXPECT_EQ(cursorModeFor(cursor_mode::kHidden), std::nullopt);
    EXPECT_NE(restoreTokenKey(ContentKind::display), restoreTokenKey(ContentKind::window));
    EXPECT_NE(restoreTokenKey(ContentKind::display), restoreTokenKey(ContentKind::region));

    EXPECT_EQ(boundShortcutIds({}), std::nullopt) << "an answer without the list says nothing";
    EXPECT_EQ(sessionPathOf({{QStringLiteral("session_handle"), QStringLiteral("/s/1")}}),
              QStringLiteral("/s/1"));
    EXPECT_EQ(
        sessionPathOf({{QStringLiteral("session_handle"), QVariant::fromValue(QDBusObjectPath("/s/2"))}}),
        QStringLiteral("/s/2"));
    EXPECT_EQ(sessionPathOf({}), QString());

    // Modifiers in a fixed order, letters unshifted, the rest by XKB names; a key with none has no trigger.
    const std::pair<const char*, const char*> cases[] = {
        {"Ctrl+Alt+Shift+S", "CTRL+ALT+SHIFT+s"},
        {"Shift+Meta+Alt+Ctrl+B", "CTRL+ALT+SHIFT+LOGO+b"},
        {"Meta+F9", "LOGO+F9"},
        {"Print", "Print"},
        {"Ctrl+PgUp", "CTRL+Page_Up"},
        {"Ctrl+Alt+7", "CTRL+ALT+7"},
        {"Ctrl+-", "CTRL+minus"},
        {"Ctrl+Alt+Space", "CTRL+ALT+space"},
        {"Media Play", "XF86AudioPlay"},
        {"Ctrl+S, Ctrl+B", "CTRL+s"}, // the first combination
        {"", nullptr}};
    for (const auto& [keys, trigger] : cases) {
        EXPECT_EQ(
            shortcutTrigger(QKeySequence::fromString(QString::fromLatin1(keys), QKeySequence::PortableText)),
            trigger ? std::optional(QString::fromLatin1(trigger)) : std::nullopt)
            << keys;
    }
    EXPECT_EQ(shortcutTrigger(QKeySequence(Qt::CTRL | Qt::Key_Eacute)), std::nullopt);
}

} // namespace backreel::portal
