#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <QDBusConnection>
#include <QObject>

namespace backreel::portal {

// A screen-cast session of the portal: closing it ends the screen sharing, and the desktop may
// close it itself (the user chose "stop sharing"). Created on the main thread; close() and
// setClosedHandler() from any thread. Made with make(), which ties the object's end to the
// main thread's event loop.
class PortalSession final : public QObject {
    Q_OBJECT

public:
    static std::shared_ptr<PortalSession> make(QDBusConnection connection, QString path);
    ~PortalSession() override;

    const QString& path() const { return path_; }
    // Told on the main thread when the desktop closed the session; never after close().
    void setClosedHandler(std::function<void()> handler);
    // Ends the session (the portal stops the streams). Once; idempotent.
    void close();

private slots:
    void onClosed();

private:
    PortalSession(QDBusConnection connection, QString path);

    QDBusConnection connection_;
    const QString path_;
    std::mutex mutex_;
    std::function<void()> onClosed_;
    bool closed_ = false;
};

} // namespace backreel::portal
