#include "app/MenuBarContent.h"

#include "app/RecordIconEngine.h"
#include "app/TrayIcon.h"
#include "app/UpdateController.h"
#include "support/synthetic/SyntheticCaptureService.h"
#include "support/WidgetTest.h"
#include "ui/StatusText.h"
#include "ui/SymbolImage.h"

using namespace backreel;
using Kind = RecordingStatus::Kind;
using Style = RecordIconEngine::Style;

namespace {

QImage iconImage(const QIcon& icon, int side) {
    return icon.pixmap(QSize(side, side), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Whether the pixel at `fraction` of the radius right of the centre is drawn; none is half drawn.
bool drawnAt(const QImage& image, double fraction) {
    const int alpha =
        qAlpha(image.pixel(static_cast<int>(image.width() / 2.0 * (1 + fraction)), image.height() / 2));
    EXPECT_TRUE(alpha > 200 || alpha < 50) << "half drawn at " << fraction;
    return alpha > 200;
}

// The menu's lines with these between its fixed items.
QStringList menuWith(const QStringList& middle) {
    return QStringList{QStringLiteral("Show Window"), QStringLiteral("-")}
           << middle
           << QStringLiteral("-|Settings…|Keyboard Shortcuts…|Check for Updates…|-|Quit Backreel")
                  .split(u'|');
}

class MenuBarContentTest : public ::testing::Test {
protected:
    QStringList lines() const { return test::menuLines(*content.menu()); }
    QAction* item(const QString& text) const {
        QList<QAction*> visible = content.menu()->actions();
        visible.removeIf([](const QAction* action) { return !action->isVisible(); });
        EXPECT_TRUE(lines().contains(text)) << text.toStdString();
        // A line that is not there fails the test above; the stand-in keeps it from crashing.
        return visible.value(lines().indexOf(text), &missing);
    }
    mutable QAction missing;

    test::SyntheticRecorder recorder;
    std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    // A feed nobody serves: the check fails at once without leaving the machine.
    UpdateController updates{QStringLiteral("0.1.0"), QUrl(QStringLiteral("http://127.0.0.1:9/"))};
    int shows = 0;
    int quits = 0;
    MenuBarContent content{*manager, updates, [this] { ++shows; },
                           [this] {
                               ++quits;
                           }};
    TrayIcon tray{*manager, content.menu()};
};

} // namespace

// The menu follows the manager's status (which items each state shows is MenuItems' table below);
// "Saving…" is a line of text, every other item a command; no item has a shortcut, not even one an
// '&' in its text would make. The tray icon, which opens the menu, is filled only while buffering,
// and drawn anew in a new theme's text colour.
TEST_F(MenuBarContentTest, TheMenuAndTheTrayIconFollowTheStatusAndTheTheme) {
    EXPECT_EQ(tray.systemTrayIcon().contextMenu(), content.menu());
    for (const bool buffering : {true, false}) {
        manager->setStatus(buffering ? RecordingStatus::buffering() : RecordingStatus::saving());
        EXPECT_EQ(lines().contains(QStringLiteral("Saving…")), !buffering);
        for (const QAction* action : content.menu()->actions()) {
            EXPECT_TRUE(action->shortcut().isEmpty() && QKeySequence::mnemonic(action->text()).isEmpty());
            EXPECT_TRUE(action->isEnabled() != action->text().startsWith(QStringLiteral("Saving")) ||
                        !action->isVisible());
        }
        EXPECT_EQ(drawnAt(iconImage(tray.systemTrayIcon().icon(), 44), 0.77), buffering);
    }

    const qint64 before = tray.systemTrayIcon().icon().cacheKey();
    const QPalette original = QApplication::palette();
    QPalette light = original;
    light.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
    QApplication::setPalette(light);
    EXPECT_NE(tray.systemTrayIcon().icon().cacheKey(), before);
    EXPECT_EQ(QColor(iconImage(tray.systemTrayIcon().icon(), 32).pixel(16, 16)), QColor(0xf0, 0xf0, 0xf0));
    QApplication::setPalette(original);
}

// Each unsaved clip is offered, with its own "Discard Clip", unless busy; clips being saved are counted.
TEST(MenuItems, OffersByStateAndATrayIconCrispAtTraySizes) {
    const UnsavedClipInfo failed{1, UnsavedClipOffer::saveAgain, 8.2, QTime(14, 7)};
    const UnsavedClipInfo ended{2, UnsavedClipOffer::saveWhatWasBuffered, 30, QTime(9, 1)};
    const std::pair<MenuState, QStringList> rows[] = {
        {{Kind::error, {failed}},
         {"Start Recording", "Save Again… (8 s, 14:07)", "Discard Clip (8 s, 14:07)"}},
        {{Kind::idle, {failed, ended}},
         {"Start Recording", "Save Again… (8 s, 14:07)", "Discard Clip (8 s, 14:07)",
          "Save What Was Buffered… (30 s, 09:01)", "Discard Clip (30 s, 09:01)"}},
        {{Kind::buffering, {failed}}, {"Stop & Save", "Save Clip", "Save Last…", "Review…"}},
        {{Kind::saving, {failed}}, {"Saving…"}},
        {{Kind::buffering, {}, 2},
         {"Stop & Save", "Save Clip", "Save Last…", "Review…", "Saving… (2 clips)"}},
        {{Kind::saved, {}, 1}, {"Start Recording", "Saving… (1 clip)"}},
    };
    for (const auto& [state, middle] : rows) {
        QStringList shown;
        for (const MenuItem& line : menuItems(state)) {
            shown << (line.kind == MenuItem::Kind::separator ? QStringLiteral("-") : line.title);
        }
        EXPECT_EQ(shown, menuWith(middle)) << middle.join(QLatin1Char(',')).toStdString();
    }

    // Drawn for the pixels asked for, not scaled: a middle dot, nothing outside; a solid disc or a rim.
    for (const int side : {22, 44}) {
        SCOPED_TRACE(side);
        const QImage outline = iconImage(QIcon(new RecordIconEngine(Style::outline)), side);
        const QImage filled = iconImage(QIcon(new RecordIconEngine(Style::filled)), side);
        for (const QImage& image : {outline, filled}) {
            ASSERT_EQ(image.size(), QSize(side, side));
            EXPECT_TRUE(drawnAt(image, 0.0) && qAlpha(image.pixel(0, 0)) == 0);
            EXPECT_FALSE(side > 32 && drawnAt(image, 0.62));
            EXPECT_TRUE(side < 32 || drawnAt(image, 0.93));
        }
        EXPECT_TRUE(side < 32 || (!drawnAt(outline, 0.77) && drawnAt(filled, 0.77)));
    }
    const QImage dense = renderSymbol(Symbol::recordCircle, QSize(22, 22), 2.0, Qt::black);
    EXPECT_TRUE(dense.size() == QSize(44, 44) && dense.devicePixelRatio() == 2.0);
}

TEST_F(MenuBarContentTest, EachUnsavedClipIsSavedOrDiscardedFromTheMenu) {
    recorder.saveFlow->outcome =
        RecordingStatus::error(QStringLiteral("Save failed: the folder is read-only."));
    for (int i = 0; i < 2; ++i) {
        item(QStringLiteral("Start Recording"))->trigger();
        BACKREEL_EVENTUALLY_TRUE(manager->session() && manager->session()->videoStore().count() >= 3);
        item(QStringLiteral("Stop & Save"))->trigger();
        BACKREEL_EVENTUALLY_EQ(manager->unsavedClips().size(), static_cast<std::size_t>(i + 1));
    }
    const std::vector<UnsavedClipInfo> clips = manager->unsavedClips();
    const auto offer = [&](const char* title, const UnsavedClipInfo& clip) {
        return QString::fromUtf8(title) + QLatin1Char(' ') + unsavedClipDetails(clip);
    };
    recorder.saveFlow->outcome = RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4")));
    item(offer("Save Again…", clips[0]))->trigger();
    BACKREEL_EVENTUALLY_EQ(lines(), menuWith({"Start Recording", offer("Save Again…", clips[1]),
                                              offer("Discard Clip", clips[1])}));

    manager->setStatus(RecordingStatus::error(QStringLiteral("Save failed.")));
    item(offer("Discard Clip", clips[1]))->trigger();
    EXPECT_EQ(lines(), menuWith({"Start Recording"}));
    EXPECT_TRUE(manager->status().is(Kind::error)) << "the message stays";
}

TEST_F(MenuBarContentTest, SaveClipAndSaveLastWhileBuffering) {
    manager->setBufferDuration(RecordingDuration::oneMinute);
    item(QStringLiteral("Start Recording"))->trigger();
    BACKREEL_EVENTUALLY_TRUE(manager->session() && manager->session()->videoStore().count() >= 3);
    EXPECT_EQ(test::menuLines(*content.saveLastMenu()),
              (QStringList{QStringLiteral("10 sec"), QStringLiteral("30 sec"), QStringLiteral("1 min")}));
    item(QStringLiteral("Save Clip"))->trigger();
    BACKREEL_EVENTUALLY_EQ(recorder.saveFlow->clips.size(), 1u);
    content.saveLastMenu()->actions().at(1)->trigger();
    BACKREEL_EVENTUALLY_EQ(recorder.saveFlow->clips.size(), 2u);
    EXPECT_EQ(manager->status().kind(), Kind::buffering);
    ASSERT_TRUE(recorder.saveFlow->requests.at(1).folder.has_value()) << "no dialog";
}

TEST_F(MenuBarContentTest, CommandsDoWhatTheySay) {
    QSignalSpy shortcuts(&content, &MenuBarContent::keyboardShortcutsRequested);
    for (const char* text : {"Show Window", "Quit Backreel", "Keyboard Shortcuts…", "Check for Updates…"}) {
        item(QString::fromUtf8(text))->trigger();
    }
    EXPECT_TRUE(shows == 1 && quits == 1 && shortcuts.count() == 1 && updates.isChecking());
}
