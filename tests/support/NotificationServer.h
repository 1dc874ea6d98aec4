#pragma once

// The desktop's notification server, with Plasma's inhibition, on a connection of its own (one that
// answered calls on the caller's could deadlock). Tests list this header among their sources, for moc.

#include <gtest/gtest.h>
#include <optional>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTest>
#include <utility>
#include <vector>

namespace backreel::test {

// The desktop's file manager, which "Show in Folder" asks to show a file.
class FileManagerStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    std::vector<QStringList> shownItems;

public slots:
    Q_SCRIPTABLE void ShowItems(const QStringList& uris, const QString&) { shownItems.push_back(uris); }
};

class NotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString kConnection = QStringLiteral("standin");
    static inline const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");
    static inline const QString kFileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");

    struct Notification {
        uint id = 0;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    ~NotificationServer() override { stop(); }

    bool serve() {
        connection_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection);
        return connection_.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots) &&
               connection_.registerService(kService) &&
               connection_.registerObject(kFileManagerPath, &fileManager,
                                          QDBusConnection::ExportScriptableSlots) &&
               connection_.registerService(kFileManager);
    }
    // The objects and names go before the connection, which would still hand calls to them.
    void stop() {
        if (connection_.isConnected()) {
            connection_.unregisterObject(kPath);
            connection_.unregisterService(kService);
            connection_.unregisterObject(kFileManagerPath);
            connection_.unregisterService(kFileManager);
            connection_ = QDBusConnection(QString());
            QDBusConnection::disconnectFromBus(kConnection);
        }
    }
    // Returns once what was sent so far has been handled on both sides: a call made twice, each
    // answer awaited and its events handled.
    static void roundTrip() {
        for (int pass = 0; pass < 2; ++pass) {
            QDBusPendingCallWatcher watcher(
                QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
                    kService, kPath, kService, QStringLiteral("GetCapabilities"))));
            ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.isFinished(); }, 5000));
            QCoreApplication::processEvents();
        }
    }
    void invoke(uint id, const QString& action) const {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, QStringLiteral("ActionInvoked"));
        signal << id << action;
        connection_.send(signal);
    }
    void answerHeld() {
        for (const auto& [call, cookie] : std::exchange(held, {})) {
            connection_.send(call.createReply(cookie));
        }
    }

    FileManagerStandIn fileManager;
    std::vector<Notification> shown;
    std::vector<QStringList> inhibits; // desktop entry and reason
    std::vector<uint> uninhibits;
    std::vector<uint> granted;
    std::optional<QDBusError::ErrorType> failure; // how Inhibit fails (as on GNOME Shell), if it does
    bool holdAnswers = false;                     // Inhibit answers only on answerHeld()
    std::vector<std::pair<QDBusMessage, uint>> held;

public slots:
    Q_SCRIPTABLE uint Notify(const QString&, uint, const QString&, const QString& summary,
                             const QString& body, const QStringList& actions, const QVariantMap& hints, int) {
        shown.push_back({static_cast<uint>(shown.size() + 7), summary, body, actions, hints});
        return shown.back().id;
    }
    // Plasma grants inhibitions with cookies of its own choosing.
    Q_SCRIPTABLE uint Inhibit(const QString& desktopEntry, const QString& reason, const QVariantMap&) {
        inhibits.push_back({desktopEntry, reason});
        if (failure) {
            sendErrorReply(*failure, QStringLiteral("Inhibition is not allowed"));
            return 0;
        }
        granted.push_back(nextCookie_);
        if (holdAnswers) {
            setDelayedReply(true);
            held.emplace_back(message(), nextCookie_);
        }
        return nextCookie_++;
    }
    Q_SCRIPTABLE void UnInhibit(uint cookie) { uninhibits.push_back(cookie); }
    Q_SCRIPTABLE QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }

private:
    QDBusConnection connection_{QString()};
    uint nextCookie_ = 41;
};

// Skips without the private bus or where a server runs; each case's answers arrive before the next.
class NotificationServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
            !QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "needs a session bus: run under scripts/virtual-desktop";
        }
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(NotificationServer::kService)) {
            GTEST_SKIP() << "a notification server already runs on this bus; these cases need a private bus";
        }
    }
    void TearDown() override {
        if (!IsSkipped()) {
            NotificationServer::roundTrip();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
};

} // namespace backreel::test
