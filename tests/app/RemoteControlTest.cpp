#include "app/RemoteControl.h"

#include "app/RemoteControlService.h"
#include "support/WidgetTest.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>

using namespace backreel;
using Kind = RecordingStatus::Kind;

namespace {

// What another process hears of the service's signal.
class StatusListener final : public QObject {
    Q_OBJECT

public:
    QList<QStringList> heard;

public slots:
    void statusChanged(const QString& state, const QString& status) { heard.push_back({state, status}); }
};

// The service on the test bus, called asynchronously from a connection of its own.
class RemoteControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "needs the virtual desktop's bus";
        ASSERT_EQ(service->claim(QDBusConnection::sessionBus()), RemoteControlService::Claim::owned);
        ASSERT_TRUE(callerBus.connect(RemoteControlService::kServiceName, RemoteControlService::kObjectPath,
                                      RemoteControlService::kInterface, QStringLiteral("StatusChanged"),
                                      &listener, SLOT(statusChanged(QString, QString))));
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("caller")); }

    // Calls a method and waits for the answer: the error's text, or empty when it succeeded.
    QDBusMessage answer(const QString& interface, const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            RemoteControlService::kServiceName, RemoteControlService::kObjectPath, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = callerBus.asyncCall(message);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 10'000)) << method.toStdString();
        return pending.reply();
    }
    QString call(const QString& method, const QVariantList& arguments = {}) {
        const QDBusMessage reply = answer(RemoteControlService::kInterface, method, arguments);
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
    }
    QString property(const char* name) {
        const QDBusMessage reply =
            answer(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                   {RemoteControlService::kInterface, QString::fromLatin1(name)});
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }

    test::SyntheticRecorder recorder;
    std::unique_ptr<RecordingManager> manager = recorder.makeManager();
    int windowsShown = 0;
    int quits = 0;
    RemoteControl remote{*manager, [this] { ++windowsShown; },
                         [this] {
                             ++quits;
                         }};
    std::unique_ptr<RemoteControlService> service = std::make_unique<RemoteControlService>(remote);
    QDBusConnection callerBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("caller"));
    StatusListener listener;
};

} // namespace

// StartRecording answers once buffering runs; Status and its signal follow; SaveClip takes its
// seconds unsigned or signed (as gdbus sends them); commands it cannot take now are refused.
TEST_F(RemoteControlTest, CommandsStatusAndSignalsReachTheManager) {
    EXPECT_EQ(property("State"), QStringLiteral("idle"));
    EXPECT_EQ(property("Status"), QStringLiteral("Ready"));
    EXPECT_EQ(call(QStringLiteral("StopAndSave")), QStringLiteral("Backreel is not recording."));
    EXPECT_EQ(call(QStringLiteral("SaveClip")), QStringLiteral("Backreel is not recording."));
    EXPECT_TRUE(recorder.saveFlow->clips.empty());

    EXPECT_EQ(call(QStringLiteral("StartRecording")), QString());
    EXPECT_EQ(manager->status().kind(), Kind::buffering) << "answered once buffering runs";
    EXPECT_EQ(property("State"), QStringLiteral("buffering"));
    EXPECT_EQ(property("Status"), QStringLiteral("Recording…"));
    BACKREEL_EVENTUALLY_TRUE(!listener.heard.isEmpty());
    EXPECT_EQ(listener.heard.first(),
              (QStringList{QStringLiteral("buffering"), QStringLiteral("Recording…")}));
    EXPECT_EQ(call(QStringLiteral("StartRecording")), QStringLiteral("Backreel is recording already."));

    BACKREEL_EVENTUALLY_TRUE(manager->session() && manager->session()->videoStore().count() >= 60);
    const auto& clips = recorder.saveFlow->clips;
    for (const QVariantList& seconds :
         {QVariantList{QVariant::fromValue(1U)}, QVariantList{}, QVariantList{1}}) {
        EXPECT_EQ(call(QStringLiteral("SaveClip"), seconds), QString());
    }
    BACKREEL_EVENTUALLY_EQ(clips.size(), 3U);
    EXPECT_TRUE(clips[1].video.size() > clips[0].video.size() &&
                clips[1].video.size() > clips[2].video.size())
        << "one second, the whole buffer, one second";
    EXPECT_EQ(call(QStringLiteral("SaveClip"), {-1}),
              QStringLiteral("The number of seconds to save cannot be negative (-1)."));
    EXPECT_EQ(call(QStringLiteral("SaveAroundMark"), {QVariant::fromValue(0U)}),
              QStringLiteral("There is no marker to save around: mark a moment first."));
    EXPECT_EQ(call(QStringLiteral("Mark"), {QStringLiteral("got it")}), QString());
    EXPECT_EQ(manager->lastMarker()->label, QStringLiteral("got it"));
    EXPECT_EQ(call(QStringLiteral("StopAndSave")), QString());
    BACKREEL_EVENTUALLY_EQ(property("State"), QStringLiteral("saved"));
    ASSERT_EQ(clips.size(), 4U);
    EXPECT_EQ(clips.back().markers.size(), 1U) << "Stop & Save keeps the marker";
    EXPECT_EQ(property("SavedFile"), QStringLiteral("/tmp/backreel-test.mp4"));
    BACKREEL_EVENTUALLY_EQ(listener.heard.last().first(), QStringLiteral("saved"));

    EXPECT_EQ(call(QStringLiteral("ShowWindow")), QString());
    EXPECT_EQ(windowsShown, 1);
    EXPECT_EQ(call(QStringLiteral("Quit")), QString());
    BACKREEL_EVENTUALLY_EQ(quits, 1);
}

TEST_F(RemoteControlTest, AFailedStartAnswersWithItsReasonAndTheNameIsOwnedOnce) {
    recorder.state->changeOptions([](SyntheticOptions& options) { options.content.displays.clear(); });
    EXPECT_EQ(call(QStringLiteral("StartRecording")), QStringLiteral("No display found."));
    EXPECT_EQ(property("State"), QStringLiteral("error"));

    RemoteControl secondRemote{*manager, {}, {}};
    RemoteControlService second(secondRemote);
    EXPECT_EQ(
        second.claim(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"))),
        RemoteControlService::Claim::taken);
    QDBusConnection::disconnectFromBus(QStringLiteral("second"));
    EXPECT_EQ(property("Status"), QStringLiteral("No display found."));
    service.reset();
    EXPECT_FALSE(
        QDBusConnection::sessionBus().interface()->isServiceRegistered(RemoteControlService::kServiceName));
}

TEST(RemoteControl, QuitWaitsForTheSaveAndRefusesToLoseUnsavedClips) {
    test::SyntheticRecorder recorder;
    recorder.saveFlow->held = true;
    RecordingManager manager(recorder.platform, recorder.saveFlow, recorder.settings);
    int quits = 0;
    RemoteControl remote(manager, {}, [&] { ++quits; });
    EXPECT_EQ(QCoro::waitFor(remote.startRecording()), std::nullopt);
    BACKREEL_EVENTUALLY_TRUE(manager.session() && manager.session()->videoStore().count() >= 3);
    EXPECT_EQ(remote.stopAndSave(), std::nullopt);
    BACKREEL_EVENTUALLY_EQ(manager.status().kind(), Kind::saving);
    EXPECT_EQ(remote.quit(false), std::nullopt);
    EXPECT_EQ(remote.quit(false), std::nullopt);
    EXPECT_EQ(quits, 0);
    recorder.saveFlow->outcome = RecordingStatus::error(QStringLiteral("Save failed: the disk is full."));
    recorder.saveFlow->open();
    BACKREEL_EVENTUALLY_EQ(manager.status().kind(), Kind::error);
    EXPECT_EQ(quits, 1) << "the quit asked for before the failure";

    EXPECT_EQ(remote.quit(false),
              QStringLiteral("Backreel keeps 1 unsaved clip: save or discard it in its menu, or quit with "
                             "--discard-unsaved."));
    EXPECT_TRUE(manager.hasUnsavedClip());
    EXPECT_EQ(remote.quit(true), std::nullopt);
    EXPECT_FALSE(manager.hasUnsavedClip());
    BACKREEL_EVENTUALLY_EQ(quits, 2);
}

#include "RemoteControlTest.moc"
