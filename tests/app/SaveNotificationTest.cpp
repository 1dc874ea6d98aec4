// Save notifications to the stand-ins of the notification server and file manager on the test bus.

#include "app/BackreelApp.h"
#include "platform/dbus/DbusFileReveal.h"
#include "platform/dbus/DbusNotificationMuter.h"
#include "platform/dbus/DbusSaveNotifier.h"
#include "support/NotificationServer.h"
#include "support/WidgetTest.h"

using namespace backreel;
using namespace std::chrono_literals;

namespace {

class SaveNotifications : public test::NotificationServerTest {
protected:
    void SetUp() override {
        NotificationServerTest::SetUp();
        if (!IsSkipped()) {
            ASSERT_TRUE(notifications.serve());
        }
    }

    test::NotificationServer notifications;
};

} // namespace

// Each save brings a notification, also while muted: a saved clip's name, length and two buttons,
// which open it or show it in its folder; a failure's reason, urgent. A marker's only when asked for.
TEST_F(SaveNotifications, OnePerSaveWithOpenAndShowInFolderAlsoWhileMuted) {
    test::SyntheticRecorder recorder;
    Platform platform = makeSyntheticPlatform(recorder.state);
    platform.notifications =
        std::make_shared<DbusNotificationMuter>(QDBusConnection::sessionBus(), DesktopSession{});
    std::vector<QString> opened;
    BackreelAppOptions options;
    options.tray = TrayPresence::unavailable;
    options.saveNotifier = std::make_shared<DbusSaveNotifier>(
        std::make_shared<DbusFileReveal>(), [&](const QString& path) { opened.push_back(path); });
    BackreelApp app(platform, recorder.saveFlow, options);
    RecordingManager& manager = app.recordingManager();
    app.recorderSettings().setMuteNotifications(true);
    QCoro::waitFor(manager.startRecording());
    BACKREEL_EVENTUALLY_TRUE(manager.session() && manager.session()->videoStore().count() >= 20);
    test::NotificationServer::roundTrip();
    EXPECT_EQ(notifications.inhibits.size(), 1u) << "muted while buffering";

    const QString first = QStringLiteral("/tmp/clips/loopvane-2026-03-05-140709.mp4");
    for (const RecordingStatus& outcome :
         {RecordingStatus::saved(QUrl::fromLocalFile(first)),
          RecordingStatus::saved(QUrl::fromLocalFile(first + u'2')),
          RecordingStatus::error(QStringLiteral("Save failed: the folder is read-only."))}) {
        recorder.saveFlow->outcome = outcome;
        QCoro::waitFor(manager.saveClip(1s));
    }
    BACKREEL_EVENTUALLY_EQ(notifications.shown.size(), 3u);
    test::NotificationServer::roundTrip();

    const QStringList buttons{QStringLiteral("open"), QStringLiteral("Open"),
                              QStringLiteral("show-in-folder"), QStringLiteral("Show in Folder")};
    const auto& saved = notifications.shown[0];
    EXPECT_TRUE(saved.summary == QStringLiteral("Clip saved") &&
                saved.body.startsWith(QStringLiteral("loopvane-2026-03-05-140709.mp4 — ")) &&
                saved.body.endsWith(QStringLiteral(" s")))
        << saved.body.toStdString();
    EXPECT_TRUE(saved.actions == buttons && notifications.shown[1].actions == buttons &&
                !saved.hints.contains(QStringLiteral("transient")));
    const auto& failed = notifications.shown[2];
    EXPECT_TRUE(failed.summary == QStringLiteral("Clip not saved") && failed.actions.isEmpty() &&
                failed.body == QStringLiteral("Save failed: the folder is read-only.") &&
                failed.hints.value(QStringLiteral("urgency")).toInt() == 2);

    notifications.invoke(saved.id, QStringLiteral("open"));
    notifications.invoke(saved.id, QStringLiteral("show-in-folder"));
    notifications.invoke(failed.id, QStringLiteral("open")); // no buttons: nothing to do
    BACKREEL_EVENTUALLY_EQ(notifications.fileManager.shownItems.size(), 1u);
    EXPECT_EQ(notifications.fileManager.shownItems[0], QStringList{QUrl::fromLocalFile(first).toString()});
    EXPECT_EQ(opened, std::vector<QString>{first});

    // A marker notifies only when asked to: off by default, as games are full screen.
    ASSERT_TRUE(manager.mark(QString()));
    app.recorderSettings().setNotifyMarkers(true);
    ASSERT_TRUE(manager.mark(QStringLiteral("Boss fight")));
    BACKREEL_EVENTUALLY_EQ(notifications.shown.size(), 4u);
    test::NotificationServer::roundTrip();
    ASSERT_EQ(notifications.shown.size(), 4u);
    const auto& marker = notifications.shown[3];
    EXPECT_TRUE(marker.summary == QStringLiteral("Marker set") &&
                marker.body == QStringLiteral("Boss fight") &&
                marker.hints.value(QStringLiteral("transient")).toBool());
}

TEST(SaveNotificationText, ClipLengthsInWholeSecondsAndMinutes) {
    EXPECT_EQ(clipLengthText(9.6), QStringLiteral("10 s"));
    EXPECT_EQ(clipLengthText(60.2), QStringLiteral("1 min"));
    EXPECT_EQ(clipLengthText(125), QStringLiteral("2 min 5 s"));
    EXPECT_EQ(clipLengthText(-1), QStringLiteral("0 s"));
}
