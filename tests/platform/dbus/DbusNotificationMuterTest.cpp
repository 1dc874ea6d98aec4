#include "platform/dbus/DbusNotificationMuter.h"

#include "platform/dbus/NotificationMuteRules.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

using namespace backreel;

#if defined(__SANITIZE_THREAD__)
// Like Qt Core (see tests/tsan.supp), Qt D-Bus, libdbus and the GLib event loop of Qt D-Bus's
// thread are not built with ThreadSanitizer: the locks and wake-ups they hand calls over with are
// invisible to it. Our own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libdbus-1.so.3\n"
           "called_from_lib:libglib-2.0.so.0\n";
}
#endif

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kMuted = QStringLiteral("[Notifications] Muted through org.freedesktop.Notifications.Inhibit");
const QString kUnmuted = QStringLiteral("[Notifications] Unmuted");
const QString kUnavailable = QStringLiteral(
    "[Notifications] This desktop's notification server offers no way to mute it; notifications stay on");
const QString kGnomeMuted = QStringLiteral("[Notifications] Muted through GNOME's show-banners setting");
const QString kGnomeUnmuted = QStringLiteral("[Notifications] Unmuted through GNOME's show-banners setting");
const QString kGetBanners = QStringLiteral("get org.gnome.desktop.notifications show-banners");
const QString kBannersOff = QStringLiteral("set org.gnome.desktop.notifications show-banners false");
const QString kBannersOn = QStringLiteral("set org.gnome.desktop.notifications show-banners true");
constexpr int kWaitMs = 5000;

// Stands in for Plasma's notification server: grants inhibitions with cookies of its own choosing
// and records every call. With holdAnswers it answers Inhibit only when answerHeld() is called.
class InhibitingServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct InhibitCall {
        QString desktopEntry;
        QString reason;
        QVariantMap hints;
    };

    std::vector<InhibitCall> inhibits;
    std::vector<uint> uninhibits;
    std::vector<uint> granted;
    bool holdAnswers = false;
    QString refusal; // when set, Inhibit fails with AccessDenied and this message

    void answerHeld() {
        for (const auto& [call, cookie] : held_) {
            QDBusConnection(QStringLiteral("standin")).send(call.createReply(cookie));
        }
        held_.clear();
    }
    std::size_t heldCount() const { return held_.size(); }

public slots:
    Q_SCRIPTABLE uint Inhibit(const QString& desktopEntry, const QString& reason, const QVariantMap& hints) {
        inhibits.push_back(InhibitCall{desktopEntry, reason, hints});
        if (!refusal.isEmpty()) {
            sendErrorReply(QDBusError::AccessDenied, refusal);
            return 0;
        }
        const uint cookie = nextCookie_++;
        granted.push_back(cookie);
        if (holdAnswers) {
            setDelayedReply(true);
            held_.emplace_back(message(), cookie);
        }
        return cookie;
    }
    Q_SCRIPTABLE void UnInhibit(uint cookie) { uninhibits.push_back(cookie); }
    Q_SCRIPTABLE QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    uint nextCookie_ = 41;
    std::vector<std::pair<QDBusMessage, uint>> held_;
};

// A notification server without inhibition, as GNOME Shell's and most others are.
class PlainServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    Q_SCRIPTABLE QStringList GetCapabilities() { return {QStringLiteral("body")}; }
};

// A gsettings that keeps show-banners in a file and logs its arguments, one call a line.
class FakeGsettings {
public:
    explicit FakeGsettings(const QByteArray& banners, bool broken = false) {
        const QString calls = dir_.filePath(QStringLiteral("calls"));
        const QString state = dir_.filePath(QStringLiteral("state"));
        program_ = dir_.filePath(QStringLiteral("gsettings"));
        QByteArray script = "#!/bin/sh\necho \"$*\" >> '" + calls.toUtf8() + "'\n";
        if (broken) {
            script += "echo 'No such schema \"org.gnome.desktop.notifications\"' >&2\nexit 1\n";
        }
        script += "case \"$1\" in\n  get) cat '" + state.toUtf8() + "' ;;\n  set) echo \"$4\" > '" +
                  state.toUtf8() + "' ;;\nesac\n";
        write(program_, script);
        QFile::setPermissions(program_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write(state, banners + "\n");
    }

    QString program() const { return program_; }
    DesktopSession gnome() const { return DesktopSession{QStringLiteral("ubuntu:GNOME"), program_}; }
    QStringList calls() const { return read(QStringLiteral("calls")).split(u'\n', Qt::SkipEmptyParts); }
    QString banners() const { return read(QStringLiteral("state")).trimmed(); }

private:
    static void write(const QString& path, const QByteArray& content) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString read(const QString& name) const {
        QFile file(dir_.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir dir_;
    QString program_;
};

// The info and error lines, without debug traces.
std::vector<QString> reported(const test::LogCapture& capture) {
    std::vector<QString> texts;
    for (const auto& line : capture.lines()) {
        if (line.level != QtDebugMsg) {
            texts.push_back(line.text);
        }
    }
    return texts;
}

// Each case serves its own stand-in on a second connection of its own: a server answering calls
// that come in on its own connection could deadlock. The bus is the private one of
// scripts/virtual-desktop, where nothing else owns the name (ctest runs these cases one at a time).
class NotificationServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "DBUS_SESSION_BUS_ADDRESS is unset; run under scripts/virtual-desktop";
        }
        if (!QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "cannot connect to the session bus: "
                         << QDBusConnection::sessionBus().lastError().message().toStdString();
        }
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(kService)) {
            GTEST_SKIP() << "a notification server already runs on this bus; these cases need a private bus";
        }
        server_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("standin"));
        ASSERT_TRUE(server_.isConnected());
    }

    void TearDown() override {
        if (server_.isConnected()) {
            server_.unregisterObject(kPath);
            server_.unregisterService(kService);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("standin"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void serve(QObject* server) {
        ASSERT_TRUE(server_.registerObject(kPath, server, QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(server_.registerService(kService));
    }

    // Returns once the stand-in has handled everything the muter's connection sent before.
    static void roundTrip() {
        const QDBusMessage ping =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("GetCapabilities"));
        QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(ping));
        ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.isFinished(); }, kWaitMs));
    }

    QDBusConnection server_{QString()};
};

} // namespace

TEST(NotificationMuteRules, InhibitionIsMissingOnlyWithoutAServerOrMethod) {
    EXPECT_TRUE(inhibitionNotOffered(QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")));
    EXPECT_TRUE(inhibitionNotOffered(QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")));
    EXPECT_TRUE(inhibitionNotOffered(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")));
    EXPECT_TRUE(inhibitionNotOffered(QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface")));
    EXPECT_TRUE(inhibitionNotOffered(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject")));
    EXPECT_FALSE(inhibitionNotOffered(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")));
    EXPECT_FALSE(inhibitionNotOffered(QStringLiteral("org.freedesktop.DBus.Error.NoReply")));
    EXPECT_FALSE(inhibitionNotOffered(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs")));
    EXPECT_FALSE(inhibitionNotOffered(QString()));
}

TEST(NotificationMuteRules, GnomeDesktopsAndGsettingsBooleans) {
    EXPECT_TRUE(isGnomeDesktop(QStringLiteral("GNOME")));
    EXPECT_TRUE(isGnomeDesktop(QStringLiteral("ubuntu:GNOME")));
    EXPECT_TRUE(isGnomeDesktop(QStringLiteral("GNOME-Classic:GNOME")));
    EXPECT_FALSE(isGnomeDesktop(QStringLiteral("KDE")));
    EXPECT_FALSE(isGnomeDesktop(QStringLiteral("XFCE")));
    EXPECT_FALSE(isGnomeDesktop(QString()));

    EXPECT_EQ(parseGsettingsBoolean("true\n"), true);
    EXPECT_EQ(parseGsettingsBoolean("false\n"), false);
    EXPECT_EQ(parseGsettingsBoolean(" true "), true);
    EXPECT_EQ(parseGsettingsBoolean(""), std::nullopt);
    EXPECT_EQ(parseGsettingsBoolean("'true'\n"), std::nullopt);
    EXPECT_EQ(parseGsettingsBoolean("1\n"), std::nullopt);
}

TEST(DbusNotificationMuterWithoutBus, SaysOnceThatItCannotMuteAndTouchesNothing) {
    test::LogCapture capture;
    FakeGsettings gsettings("true");
    {
        const QDBusConnection noBus = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/backreel-bus"), QStringLiteral("nobus"));
        ASSERT_FALSE(noBus.isConnected());
        DbusNotificationMuter muter(noBus, gsettings.gnome());
        muter.postMute();
        muter.postUnmute();
        muter.postMute();
        muter.postUnmute();
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
    QTest::qWait(50);
    EXPECT_EQ(reported(capture), std::vector<QString>{kUnavailable});
    EXPECT_TRUE(gsettings.calls().isEmpty());
}

TEST_F(NotificationServer, InhibitsOncePerRecordingAndReleasesTheSameCookie) {
    test::LogCapture capture;
    InhibitingServer server;
    serve(&server);
    DbusNotificationMuter muter(QDBusConnection::sessionBus(), DesktopSession{});

    muter.postUnmute(); // never muted: nothing to release
    for (int recording = 0; recording < 2; ++recording) {
        muter.postMute();
        muter.postMute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kMuted) == recording + 1; }, kWaitMs));
        muter.postUnmute();
        muter.postUnmute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kUnmuted) == recording + 1; }, kWaitMs));
    }
    roundTrip();

    ASSERT_EQ(server.inhibits.size(), 2u);
    for (const auto& call : server.inhibits) {
        EXPECT_EQ(call.desktopEntry, QStringLiteral("com.strandloft.Backreel"));
        EXPECT_EQ(call.reason, QStringLiteral("Recording the screen"));
        EXPECT_TRUE(call.hints.isEmpty());
    }
    EXPECT_EQ(server.uninhibits, server.granted);
    EXPECT_EQ(reported(capture), (std::vector<QString>{kMuted, kUnmuted, kMuted, kUnmuted}));
}

TEST_F(NotificationServer, UnmuteBeforeTheAnswerReleasesTheCookieWhenItArrives) {
    test::LogCapture capture;
    InhibitingServer server;
    server.holdAnswers = true;
    serve(&server);
    DbusNotificationMuter muter(QDBusConnection::sessionBus(), DesktopSession{});

    muter.postMute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.heldCount() == 1; }, kWaitMs));
    muter.postUnmute();
    roundTrip();
    EXPECT_TRUE(server.uninhibits.empty()); // nothing to release before the cookie is known

    server.answerHeld();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kUnmuted) == 1; }, kWaitMs));
    EXPECT_EQ(server.uninhibits, server.granted);
    EXPECT_EQ(server.inhibits.size(), 1u);
}

TEST_F(NotificationServer, MuteAgainBeforeTheAnswerKeepsTheOneInhibition) {
    test::LogCapture capture;
    InhibitingServer server;
    server.holdAnswers = true;
    serve(&server);
    DbusNotificationMuter muter(QDBusConnection::sessionBus(), DesktopSession{});

    muter.postMute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.heldCount() == 1; }, kWaitMs));
    muter.postUnmute();
    muter.postMute();
    server.answerHeld();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kMuted) == 1; }, kWaitMs));
    roundTrip();
    EXPECT_EQ(server.inhibits.size(), 1u);
    EXPECT_TRUE(server.uninhibits.empty());

    muter.postUnmute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kUnmuted) == 1; }, kWaitMs));
    EXPECT_EQ(server.uninhibits, server.granted);
}

TEST_F(NotificationServer, DestroyingTheMuterReleasesAnInhibitionStillOnItsWay) {
    test::LogCapture capture;
    InhibitingServer server;
    server.holdAnswers = true;
    serve(&server);
    {
        DbusNotificationMuter muter(QDBusConnection::sessionBus(), DesktopSession{});
        muter.postMute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.heldCount() == 1; }, kWaitMs));
    }
    server.answerHeld();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kUnmuted) == 1; }, kWaitMs));
    EXPECT_EQ(server.uninhibits, server.granted);
}

TEST_F(NotificationServer, RefusalIsLoggedWithTheServersMessage) {
    test::LogCapture capture;
    InhibitingServer server;
    server.refusal = QStringLiteral("Inhibition is not allowed");
    serve(&server);
    DbusNotificationMuter muter(QDBusConnection::sessionBus(), DesktopSession{});

    const QString failure = QStringLiteral("[Notifications] Could not mute: Inhibition is not allowed");
    muter.postMute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(failure) == 1; }, kWaitMs));
    EXPECT_EQ(capture.levelOf(failure), QtCriticalMsg);
    muter.postMute(); // still the same recording: not asked again
    muter.postUnmute();
    roundTrip();
    EXPECT_EQ(server.inhibits.size(), 1u);
    EXPECT_TRUE(server.uninhibits.empty());
    EXPECT_EQ(reported(capture), std::vector<QString>{failure});
}

TEST_F(NotificationServer, WithoutAServerItSaysOnceThatItCannotMute) {
    test::LogCapture capture;
    DbusNotificationMuter muter(QDBusConnection::sessionBus(),
                                DesktopSession{QStringLiteral("XFCE"), QString()});
    for (int recording = 0; recording < 2; ++recording) {
        muter.postMute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kUnavailable) == 1; }, kWaitMs));
        muter.postUnmute();
    }
    QTest::qWait(100);
    EXPECT_EQ(reported(capture), std::vector<QString>{kUnavailable});
}

TEST_F(NotificationServer, ServerWithoutInhibitElsewhereThanGnomeIsLikeNoServer) {
    test::LogCapture capture;
    PlainServer server;
    serve(&server);
    FakeGsettings gsettings("true"); // installed, but this is not GNOME
    DbusNotificationMuter muter(QDBusConnection::sessionBus(),
                                DesktopSession{QStringLiteral("KDE"), gsettings.program()});

    muter.postMute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kUnavailable) == 1; }, kWaitMs));
    muter.postUnmute();
    QTest::qWait(100);
    EXPECT_EQ(reported(capture), std::vector<QString>{kUnavailable});
    EXPECT_TRUE(gsettings.calls().isEmpty());
}

TEST_F(NotificationServer, OnGnomeBannersGoOffAndComeBackOncePerRecording) {
    test::LogCapture capture;
    PlainServer server;
    serve(&server);
    FakeGsettings gsettings("true");
    DbusNotificationMuter muter(QDBusConnection::sessionBus(), gsettings.gnome());

    for (int recording = 0; recording < 2; ++recording) {
        muter.postMute();
        muter.postMute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kGnomeMuted) == recording + 1; }, kWaitMs));
        EXPECT_EQ(gsettings.banners(), QStringLiteral("false"));
        muter.postUnmute();
        muter.postUnmute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kGnomeUnmuted) == recording + 1; }, kWaitMs));
        EXPECT_EQ(gsettings.banners(), QStringLiteral("true"));
    }
    EXPECT_EQ(gsettings.calls(),
              (QStringList{kGetBanners, kBannersOff, kBannersOn, kGetBanners, kBannersOff, kBannersOn}));
    EXPECT_EQ(reported(capture),
              (std::vector<QString>{kGnomeMuted, kGnomeUnmuted, kGnomeMuted, kGnomeUnmuted}));
}

TEST_F(NotificationServer, OnGnomeBannersTheUserKeepsOffAreLeftAlone) {
    test::LogCapture capture;
    FakeGsettings gsettings("false");
    DbusNotificationMuter muter(QDBusConnection::sessionBus(), gsettings.gnome());

    const QString leftAlone =
        QStringLiteral("[Notifications] GNOME's notification banners are already off; left as they are");
    muter.postMute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(leftAlone) == 1; }, kWaitMs));
    muter.postUnmute();
    QTest::qWait(100);
    EXPECT_EQ(gsettings.calls(), QStringList{kGetBanners});
    EXPECT_EQ(gsettings.banners(), QStringLiteral("false"));
    EXPECT_EQ(reported(capture), std::vector<QString>{leftAlone});
}

TEST_F(NotificationServer, OnGnomeAnUnmuteWhileReadingChangesNothing) {
    test::LogCapture capture;
    FakeGsettings gsettings("true");
    DbusNotificationMuter muter(QDBusConnection::sessionBus(), gsettings.gnome());

    muter.postMute();
    muter.postUnmute();
    muter.postMute();
    muter.postUnmute();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return capture.count(QStringLiteral(
                       "[Notifications] Unmuted before GNOME's banners were switched off")) == 1;
        },
        kWaitMs));
    EXPECT_TRUE(reported(capture).empty());

    // The next recording mutes as usual, after a gsettings history with no change in between.
    muter.postMute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kGnomeMuted) == 1; }, kWaitMs));
    muter.postUnmute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kGnomeUnmuted) == 1; }, kWaitMs));
    EXPECT_EQ(gsettings.calls(), (QStringList{kGetBanners, kGetBanners, kBannersOff, kBannersOn}));
    EXPECT_EQ(reported(capture), (std::vector<QString>{kGnomeMuted, kGnomeUnmuted}));
}

TEST_F(NotificationServer, OnGnomeDestroyingTheMuterRestoresBanners) {
    FakeGsettings gsettings("true");
    {
        test::LogCapture capture;
        DbusNotificationMuter muter(QDBusConnection::sessionBus(), gsettings.gnome());
        muter.postMute();
        ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(kGnomeMuted) == 1; }, kWaitMs));
    }
    // Restored by a detached gsettings that nobody waits for.
    ASSERT_TRUE(QTest::qWaitFor([&] { return gsettings.banners() == QStringLiteral("true"); }, kWaitMs));
    EXPECT_EQ(gsettings.calls(), (QStringList{kGetBanners, kBannersOff, kBannersOn}));
}

TEST_F(NotificationServer, OnGnomeAGsettingsFailureIsLoggedInItsWords) {
    test::LogCapture capture;
    FakeGsettings gsettings("true", /*broken=*/true);
    DbusNotificationMuter muter(QDBusConnection::sessionBus(), gsettings.gnome());

    const QString failure =
        QStringLiteral("[Notifications] Could not mute: No such schema \"org.gnome.desktop.notifications\"");
    muter.postMute();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.count(failure) == 1; }, kWaitMs));
    EXPECT_EQ(capture.levelOf(failure), QtCriticalMsg);
    muter.postUnmute();
    QTest::qWait(100);
    EXPECT_EQ(gsettings.calls(), QStringList{kGetBanners});
    EXPECT_EQ(reported(capture), std::vector<QString>{failure});
}

#include "DbusNotificationMuterTest.moc"
