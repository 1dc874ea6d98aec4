#include "platform/dbus/DbusNotificationMuter.h"

#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/NotificationServer.h"

#include <QFile>
#include <QTemporaryDir>

using namespace backreel;
using StandIn = test::NotificationServer;

namespace {

const QString kGet = QStringLiteral("get org.gnome.desktop.notifications show-banners");
const QString kOff = QStringLiteral("set org.gnome.desktop.notifications show-banners false");
const QString kOn = QStringLiteral("set org.gnome.desktop.notifications show-banners true");
constexpr int kWaitMs = 5000;

// A gsettings that keeps show-banners in a file and logs its arguments, one call a line.
class FakeGsettings {
public:
    FakeGsettings(const QByteArray& banners, bool broken) {
        write("gsettings", R"(#!/bin/sh
cd "${0%/*}" && echo "$*" >> calls
[ -e broken ] && echo 'No such schema "org.gnome.desktop.notifications"' >&2 && exit 1
[ "$1" = get ] && cat state || echo "$4" > state
)");
        QFile::setPermissions(program(), QFile::ReadOwner | QFile::ExeOwner);
        write("state", banners + "\n");
        write(broken ? "broken" : "working", {});
    }

    QString program() const { return dir_.filePath(QStringLiteral("gsettings")); }
    QStringList calls() const { return read("calls").split(u'\n', Qt::SkipEmptyParts); }
    QString banners() const { return read("state").trimmed(); }

private:
    void write(const char* name, const QByteArray& content) const {
        QFile file(dir_.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    QString read(const char* name) const {
        return QString::fromStdString(test::fileText(dir_.filePath(QString::fromLatin1(name)).toStdString()));
    }

    QTemporaryDir dir_;
};

// Each outcome of a mute or unmute is one info or error ("!") line, the only place a failure shows.
std::vector<QString> outcomes(const test::LogCapture& log) {
    std::vector<QString> texts;
    for (const auto& line : log.lines()) {
        if (line.level != QtDebugMsg) {
            texts.push_back((line.level == QtCriticalMsg ? QStringLiteral("!") : QString()) + line.text);
        }
    }
    return texts;
}

void waitForOutcomes(const test::LogCapture& log, std::size_t count) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes(log).size() >= count; }, kWaitMs));
}

// Each case serves its own stand-in on a connection of its own; ctest runs them one at a time.
using NotificationServer = test::NotificationServerTest;

} // namespace

TEST_F(NotificationServer, OnPlasmaEachRecordingInhibitsOnceAndReleasesItsCookie) {
    StandIn server;
    ASSERT_TRUE(server.serve());
    auto muter = std::make_unique<DbusNotificationMuter>(QDBusConnection::sessionBus(), DesktopSession{});
    // Each call twice, as the recorder may; then the answers are in.
    const auto post = [&](bool mute) {
        for (int twice = 0; twice < 2; ++twice) {
            mute ? muter->postMute() : muter->postUnmute();
        }
        StandIn::roundTrip();
    };
    post(false); // never muted: nothing to release
    for (std::size_t recording = 1; recording <= 2; ++recording) {
        post(true);
        EXPECT_EQ(server.inhibits.size(), recording);
        post(false);
        EXPECT_EQ(server.uninhibits, server.granted);
    }
    EXPECT_EQ(server.inhibits.front(), (QStringList{QStringLiteral("com.strandloft.Backreel"),
                                                    QStringLiteral("Recording the screen")}));

    // Unmuted before the answer: the cookie is released once it is known.
    server.holdAnswers = true;
    post(true);
    post(false);
    EXPECT_EQ(server.uninhibits.size(), 2u);
    server.answerHeld();
    StandIn::roundTrip();
    EXPECT_EQ(server.uninhibits, server.granted);

    // Destroyed with the answer still on its way, or while muted: released all the same.
    for (const bool held : {true, false}) {
        server.holdAnswers = held;
        muter = std::make_unique<DbusNotificationMuter>(QDBusConnection::sessionBus(), DesktopSession{});
        post(true);
        muter.reset();
        server.answerHeld();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.uninhibits == server.granted; }, kWaitMs));
    }
    EXPECT_EQ(server.granted.size(), 5u);
}

// Where nothing mutes, the log says why: a refusal or gsettings' failure in their words each
// recording, and once that nothing can mute. GNOME's banners are switched off only where they are on.
TEST_F(NotificationServer, WhereNothingMutesTheLogSaysWhyAndNothingIsSwitched) {
    enum class Server { noBus, none, refusing, withoutInhibit };
    const char* cannot = "This desktop's notification server offers no way to mute it; notifications stay on";
    // The server, the desktop, the banners (empty: no gsettings), whether gsettings fails, and the outcome
    // told once per recording where gsettings is read or the server refuses.
    const std::tuple<const char*, Server, const char*, QByteArray, bool, const char*> cases[] = {
        {"refused", Server::refusing, "KDE", "true", false, "Could not mute: Inhibition is not allowed"},
        {"no bus", Server::noBus, "GNOME", "true", false, cannot},
        {"server without Inhibit", Server::withoutInhibit, "KDE", "true", false, cannot},
        {"GNOME without gsettings", Server::none, "GNOME", {}, false, cannot},
        {"banners kept off", Server::none, "GNOME", "false", false,
         "GNOME's notification banners are already off; left as they are"},
        {"gsettings fails", Server::none, "GNOME", "true", true,
         "Could not mute: No such schema \"org.gnome.desktop.notifications\""},
    };
    const QDBusConnection noBus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/backreel-bus"), QStringLiteral("nobus"));
    ASSERT_FALSE(noBus.isConnected());
    for (const auto& [name, kind, desktop, banners, broken, expected] : cases) {
        SCOPED_TRACE(name);
        StandIn server;
        server.failure = kind == Server::refusing ? QDBusError::AccessDenied : QDBusError::UnknownMethod;
        if (kind == Server::refusing || kind == Server::withoutInhibit) {
            ASSERT_TRUE(server.serve());
        }
        FakeGsettings gsettings(banners, broken);
        const QString outcome =
            (QString::fromUtf8(expected).startsWith(u"Could not") ? QStringLiteral("!") : QString()) +
            QStringLiteral("[Notifications] ") + QString::fromUtf8(expected);
        const bool everyRecording = expected != cannot;
        test::LogCapture log;
        {
            DbusNotificationMuter muter(kind == Server::noBus ? noBus : QDBusConnection::sessionBus(),
                                        DesktopSession{QString::fromLatin1(desktop),
                                                       banners.isEmpty() ? QString() : gsettings.program()});
            for (std::size_t recording = 1; recording <= 2; ++recording) {
                muter.postMute();
                muter.postMute();
                StandIn::roundTrip();
                waitForOutcomes(log, everyRecording ? recording : 1);
                muter.postUnmute();
            }
            StandIn::roundTrip();
        }
        EXPECT_EQ(outcomes(log), std::vector<QString>(everyRecording ? 2 : 1, outcome));
        EXPECT_EQ(gsettings.calls().size(), everyRecording && kind == Server::none ? 2 : 0);
        EXPECT_EQ(gsettings.banners(), QString::fromLatin1(banners));
        EXPECT_TRUE(server.uninhibits.empty());
        server.stop();
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
}

// An unmute while the setting is read changes nothing; each recording switches the banners off and on
// again, as does destroying the muter while muted.
TEST_F(NotificationServer, OnGnomeBannersGoOffAndComeBackOncePerRecording) {
    FakeGsettings gsettings("true", false);
    test::LogCapture log;
    auto muter = std::make_unique<DbusNotificationMuter>(
        QDBusConnection::sessionBus(), DesktopSession{QStringLiteral("ubuntu:GNOME"), gsettings.program()});
    const auto bannersBecome = [&](const char* value) {
        return QTest::qWaitFor([&] { return gsettings.banners() == QLatin1String(value); }, kWaitMs);
    };

    muter->postMute();
    muter->postUnmute();
    muter->postMute();
    muter->postUnmute();
    // Nothing outside shows that the answer was read and dropped but this trace.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return log.count(QStringLiteral(
                       "[Notifications] Unmuted before GNOME's banners were switched off")) == 1;
        },
        kWaitMs));
    for (int recording = 0; recording < 2; ++recording) {
        muter->postMute();
        muter->postMute();
        ASSERT_TRUE(bannersBecome("false"));
        muter->postUnmute();
        muter->postUnmute();
        ASSERT_TRUE(bannersBecome("true"));
    }
    muter->postMute();
    ASSERT_TRUE(bannersBecome("false"));
    waitForOutcomes(log, 5);
    muter.reset();
    // Restored by a detached gsettings that nobody waits for.
    ASSERT_TRUE(bannersBecome("true"));
    EXPECT_EQ(gsettings.calls(), (QStringList{kGet, kGet, kOff, kOn, kGet, kOff, kOn, kGet, kOff, kOn}));
}
