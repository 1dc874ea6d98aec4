#pragma once

#include "platform/CaptureService.h"
#include "platform/portal/PortalRules.h"
#include "platform/portal/PortalSession.h"

#include <memory>
#include <QCoroTask>
#include <QDBusUnixFileDescriptor>

namespace backreel::portal {

// A screen cast the user agreed to: its session, its one stream, the PipeWire remote on which the
// stream's node can be read, and the token that starts the same cast again without the dialog
// (empty when the portal gave none).
struct ScreenCast {
    std::shared_ptr<PortalSession> session;
    CastStream stream;
    QDBusUnixFileDescriptor remote;
    QString restoreToken;
};

// Starts a screen cast through the desktop portal (org.freedesktop.portal.ScreenCast on the
// session bus): CreateSession, SelectSources (one monitor or one window, the cursor in the
// picture, kept until revoked), Start (the desktop's dialog, skipped when the restore token is
// taken) and OpenPipeWireRemote. A restore token that the desktop refuses is dropped and the
// dialog asked for without it. Fails with kNoPortalMessage where there is no portal or it has no
// screen cast, of kind cancelled when the user cancelled, and with the
// portal's message otherwise; a session that was made is closed again. Main thread.
QCoro::Task<Expected<ScreenCast, CaptureError>> startScreenCast(ContentKind kind, QString restoreToken);

} // namespace backreel::portal
