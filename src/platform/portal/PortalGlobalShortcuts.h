#pragma once

#include "core/dispatch/Completion.h"
#include "core/Error.h"
#include "platform/GlobalShortcuts.h"
#include "platform/portal/PortalSession.h"

#include <memory>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QVariantMap>

namespace backreel {

// Global shortcuts through the desktop portal (org.freedesktop.portal.GlobalShortcuts on the
// session bus), for Wayland desktops. Each bind() makes a fresh session, binds the shortcuts that
// have keys there (the keys go as the preferred trigger; the desktop may ask the user to confirm
// or choose others) and closes the previous session; binding what is bound already asks nothing.
// Whether the portal offers global shortcuts is learnt at the first bind(): until then
// unavailableReason() is none, and where it does not, every shortcut fails with that reason.
// Binds run one after the other, in the order they were asked for.
//
// Thread contract: main thread only; activated() is emitted there.
class PortalGlobalShortcuts final : public GlobalShortcuts {
    Q_OBJECT

public:
    explicit PortalGlobalShortcuts(QObject* parent = nullptr);
    ~PortalGlobalShortcuts() override;

    std::optional<QString> unavailableReason() const override;
    bool bindingAsksTheUser() const override { return true; }
    QCoro::Task<std::vector<ShortcutBinding>> bind(std::vector<GlobalShortcut> shortcuts) override;

private slots:
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);

private:
    QCoro::Task<std::vector<ShortcutBinding>> bindInOrder(std::vector<GlobalShortcut> shortcuts);
    // Whether the portal offers global shortcuts; asked once.
    QCoro::Task<bool> offered();
    // A new session with these shortcuts bound in it, or why there is none.
    QCoro::Task<Expected<std::shared_ptr<portal::PortalSession>>>
    bindInNewSession(const std::vector<GlobalShortcut>& shortcuts, std::vector<ShortcutBinding>& results);
    void setSession(std::shared_ptr<portal::PortalSession> session);

    QDBusConnection bus_;
    std::optional<bool> offered_;
    std::shared_ptr<portal::PortalSession> session_;
    std::vector<GlobalShortcut> bound_;
    std::vector<ShortcutBinding> boundResults_;
    // Done when the last bind asked for has ended.
    std::shared_ptr<Completion<bool>> lastBind_;
};

} // namespace backreel
