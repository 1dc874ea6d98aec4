// Save notifications on the private test bus: a stand-in notification server and a stand-in file
// manager serve on a connection of their own, and Backreel's notifier talks to them over the real
// bus, as it would to the desktop's.

#include "app/BackreelApp.h"
#include "capture/RecordingManager.h"
#include "platform/dbus/DbusFileReveal.h"
#include "platform/dbus/DbusNotificationMuter.h"
#include "platform/dbus/DbusSaveNotifier.h"
#include "support/DbusTestBus.h"
#include "support/synthetic/SyntheticPlatform.h"
#include "support/WidgetTest.h"

#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>

using namespace backreel;
using namespace std::chrono_literals;

namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");
const QString kFileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString kStandIn = QStringLiteral("standin");

struct Notification {
    uint id = 0;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
};

// The desktop's notification server as freedesktop.org describes it, with Plasma's inhibition.
class NotificationServerStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    std::vector<Notification> shown;
    uint inhibits = 0;

    // What the user does with a notification's button.
    void invoke(uint id, const QString& action) const {
        QDBusMessage signal =
            QDBusMessage::createSignal(kNotificationsPath, kNotifications, QStringLiteral("ActionInvoked"));
        signal << id << action;
        QDBusConnection(kStandIn).send(signal);
    }

public slots:
    Q_SCRIPTABLE uint Notify(const QString&, uint, const QString&, const QString& summary,
                             const QString& body, const QStringList& actions, const QVariantMap& hints, int) {
        shown.push_back({static_cast<uint>(shown.size() + 7), summary, body, actions, hints});
        return shown.back().id;
    }
    Q_SCRIPTABLE uint Inhibit(const QString&, const QString&, const QVariantMap&) { return ++inhibits; }
    Q_SCRIPTABLE void UnInhibit(uint) {}
    Q_SCRIPTABLE QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
};

class FileManagerStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    std::vector<QStringList> shownItems;

public slots:
    Q_SCRIPTABLE void ShowItems(const QStringList& uris, const QString&) { shownItems.push_back(uris); }
};

class SaveNotifications : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
            !QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "needs a session bus: run under scripts/virtual-desktop";
        }
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(kNotifications)) {
            GTEST_SKIP() << "a notification server already runs on this bus; these cases need a private bus";
        }
        server_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kStandIn);
        ASSERT_TRUE(server_.registerObject(kNotificationsPath, &notifications,
                                           QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(server_.registerService(kNotifications));
        ASSERT_TRUE(
            server_.registerObject(kFileManagerPath, &fileManager, QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(server_.registerService(kFileManager));
    }
    void TearDown() override {
        if (!server_.isConnected()) {
            return;
        }
        server_.unregisterService(kNotifications);
        server_.unregisterService(kFileManager);
        QDBusConnection::disconnectFromBus(kStandIn);
    }

    // Returns once the calls and signals sent so far have been handled on both sides.
    static void roundTrip() {
        test::dbusRoundTrip(QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications,
                                                           QStringLiteral("GetCapabilities")));
    }

    QDBusConnection server_{QString()};
    NotificationServerStandIn notifications;
    FileManagerStandIn fileManager;
};

} // namespace

// Every Save Clip brings one notification with the file name, the length and both buttons, also
// while our own mute holds the desktop's notifications back (the server keeps them in its list);
// a failed save brings one with the reason, urgent and without buttons. "Open" hands the movie to
// the opener, "Show in Folder" to the file manager.
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
    roundTrip();
    EXPECT_EQ(notifications.inhibits, 1u) << "muted while buffering";

    const QString first = QStringLiteral("/tmp/clips/loopvane-2026-03-05-140709.mp4");
    recorder.saveFlow->outcome = RecordingStatus::saved(QUrl::fromLocalFile(first));
    QCoro::waitFor(manager.saveClip(1s));
    recorder.saveFlow->outcome =
        RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/clips/b.mp4")));
    QCoro::waitFor(manager.saveClip());
    recorder.saveFlow->outcome =
        RecordingStatus::error(QStringLiteral("Save failed: the folder is read-only."));
    QCoro::waitFor(manager.saveClip());
    BACKREEL_EVENTUALLY_EQ(notifications.shown.size(), 3u);
    roundTrip();

    const QStringList buttons{QStringLiteral("open"), QStringLiteral("Open"),
                              QStringLiteral("show-in-folder"), QStringLiteral("Show in Folder")};
    const Notification& saved = notifications.shown[0];
    EXPECT_EQ(saved.summary, QStringLiteral("Clip saved"));
    EXPECT_TRUE(saved.body.startsWith(QStringLiteral("loopvane-2026-03-05-140709.mp4 — ")))
        << saved.body.toStdString();
    EXPECT_TRUE(saved.body.endsWith(QStringLiteral(" s"))) << saved.body.toStdString();
    EXPECT_EQ(saved.actions, buttons);
    EXPECT_EQ(notifications.shown[1].actions, buttons);
    EXPECT_FALSE(saved.hints.contains(QStringLiteral("transient")));
    const Notification& failed = notifications.shown[2];
    EXPECT_EQ(failed.summary, QStringLiteral("Clip not saved"));
    EXPECT_EQ(failed.body, QStringLiteral("Save failed: the folder is read-only."));
    EXPECT_TRUE(failed.actions.isEmpty());
    EXPECT_EQ(failed.hints.value(QStringLiteral("urgency")).toInt(), 2);

    notifications.invoke(saved.id, QStringLiteral("open"));
    notifications.invoke(saved.id, QStringLiteral("show-in-folder"));
    notifications.invoke(failed.id, QStringLiteral("open")); // no buttons: nothing to do
    BACKREEL_EVENTUALLY_EQ(fileManager.shownItems.size(), 1u);
    EXPECT_EQ(fileManager.shownItems[0], QStringList{QUrl::fromLocalFile(first).toString()});
    EXPECT_EQ(opened, std::vector<QString>{first});
}

TEST(SaveNotificationText, ClipLengthsInWholeSecondsAndMinutes) {
    EXPECT_EQ(clipLengthText(9.6), QStringLiteral("10 s"));
    EXPECT_EQ(clipLengthText(60.2), QStringLiteral("1 min"));
    EXPECT_EQ(clipLengthText(125), QStringLiteral("2 min 5 s"));
    EXPECT_EQ(clipLengthText(-1), QStringLiteral("0 s"));
}

#include "SaveNotificationTest.moc"
