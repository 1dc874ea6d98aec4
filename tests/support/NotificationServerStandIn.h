#pragma once

// The desktop's notification server as freedesktop.org describes it, with Plasma's inhibition, for
// tests on the private session bus of scripts/virtual-desktop. A test serves it on a connection of
// its own (a server answering calls that come in on the caller's connection could deadlock); it
// keeps what it was asked and answers as the test says. A program that uses it lists this header
// among its sources, so that it gets its meta-object.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <optional>
#include <utility>
#include <vector>

namespace backreel::test {

class NotificationServerStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

    struct Notification {
        uint id = 0;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    // `connection` names the connection it is served on.
    explicit NotificationServerStandIn(QString connection)
        : connection_(std::move(connection)) {}

    std::vector<Notification> shown;
    std::vector<QStringList> inhibits; // desktop entry and reason
    std::vector<uint> granted;         // the cookies handed out (Plasma chooses its own)
    std::vector<uint> uninhibits;
    std::optional<QDBusError::ErrorType> inhibitFailure; // UnknownMethod: like GNOME Shell's and most others
    bool holdAnswers = false;                            // Inhibit is answered only by answerHeld()

    void answerHeld() {
        for (const auto& [call, cookie] : std::exchange(held_, {})) {
            QDBusConnection(connection_).send(call.createReply(cookie));
        }
    }
    // What the user does with a notification's button.
    void invoke(uint id, const QString& action) const {
        QDBusMessage signal = QDBusMessage::createSignal(kPath, kService, QStringLiteral("ActionInvoked"));
        signal << id << action;
        QDBusConnection(connection_).send(signal);
    }

public slots:
    Q_SCRIPTABLE uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                             const QStringList& actions, const QVariantMap& hints, int) {
        shown.push_back({static_cast<uint>(shown.size() + 7), summary, body, actions, hints});
        return shown.back().id;
    }
    Q_SCRIPTABLE uint Inhibit(const QString& desktopEntry, const QString& reason, const QVariantMap&) {
        inhibits.push_back({desktopEntry, reason});
        if (inhibitFailure) {
            sendErrorReply(*inhibitFailure, QStringLiteral("Inhibition is not allowed"));
            return 0;
        }
        granted.push_back(nextCookie_);
        if (holdAnswers) {
            setDelayedReply(true);
            held_.emplace_back(message(), nextCookie_);
        }
        return nextCookie_++;
    }
    Q_SCRIPTABLE void UnInhibit(uint cookie) { uninhibits.push_back(cookie); }
    Q_SCRIPTABLE QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }

private:
    QString connection_;
    uint nextCookie_ = 41;
    std::vector<std::pair<QDBusMessage, uint>> held_;
};

} // namespace backreel::test
