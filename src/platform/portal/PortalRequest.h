#pragma once

#include "core/dispatch/Completion.h"
#include "core/Error.h"
#include "platform/portal/PortalRules.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QVariantMap>

namespace backreel::portal {

// One answer of the portal: the Response signal of a request object.
struct PortalResponse {
    ResponseCode code = ResponseCode::ended;
    QVariantMap results;
};

// Listens for the Response of one portal request, from before the call that makes the request
// (the path is known from the handle token), so that no answer is missed. Ends with an error
// when the portal leaves the bus first. Main thread.
class PortalRequest final : public QObject {
    Q_OBJECT

public:
    PortalRequest(QDBusConnection connection, QString path);
    ~PortalRequest() override;

    const QString& path() const { return path_; }
    // Suspends until the answer came. Once.
    QCoro::Task<Expected<PortalResponse>> wait();

private slots:
    void onResponse(uint code, const QVariantMap& results);

private:
    QDBusConnection connection_;
    const QString path_;
    Completion<Expected<PortalResponse>> answer_;
    std::function<void(Expected<PortalResponse>)> answered_;
    QDBusServiceWatcher portalWatch_;
};

// A handle token no other request or session of this process has.
QString nextHandleToken();

// The error of a portal call that failed on the bus.
Error portalCallError(const QDBusMessage& reply);

// Makes one request of the portal (the call's last argument, `options`, gets the handle token) and
// waits for its answer.
QCoro::Task<Expected<PortalResponse>> portalRequest(QDBusConnection bus, QDBusMessage call,
                                                    QVariantMap options);

} // namespace backreel::portal
