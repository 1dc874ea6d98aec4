#include "platform/portal/PortalGlobalShortcuts.h"

#include "platform/portal/PortalBus.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/ShortcutTriggers.h"

#include <QCoroDBusPendingCall>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QLoggingCategory>
#include <QPointer>

namespace backreel::portal {

// One shortcut as BindShortcuts takes it: its id and its properties.
struct ShortcutEntry {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const ShortcutEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ShortcutEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

} // namespace backreel::portal

Q_DECLARE_METATYPE(backreel::portal::ShortcutEntry)

namespace backreel {

using namespace portal;

namespace {
Q_LOGGING_CATEGORY(shortcutsLog, "com.strandloft.Backreel.Shortcuts")

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage shortcutsCall(const QString& method) {
    return QDBusMessage::createMethodCall(kPortalService, kPortalPath, kGlobalShortcutsInterface, method);
}

QString keyName(const QKeySequence& keys) {
    return QKeySequence(keys[0]).toString(QKeySequence::PortableText);
}

bool sameShortcuts(const std::vector<GlobalShortcut>& a, const std::vector<GlobalShortcut>& b) {
    return std::ranges::equal(a, b, [](const GlobalShortcut& x, const GlobalShortcut& y) {
        return x.id == y.id && x.description == y.description && x.keys == y.keys;
    });
}

// The same failure for every shortcut that has keys.
std::vector<ShortcutBinding> failAll(const std::vector<GlobalShortcut>& shortcuts, const QString& failure) {
    std::vector<ShortcutBinding> results;
    for (const GlobalShortcut& shortcut : shortcuts) {
        results.push_back({shortcut.id, shortcut.keys.isEmpty() ? std::nullopt : std::optional(failure)});
    }
    return results;
}

QString answerFailure(ResponseCode code) {
    return code == ResponseCode::cancelled ? QStringLiteral("The desktop's shortcut dialog was cancelled.")
                                           : QStringLiteral("The desktop did not bind the shortcuts.");
}
} // namespace

PortalGlobalShortcuts::PortalGlobalShortcuts(QObject* parent)
    : GlobalShortcuts(parent)
    , bus_(QDBusConnection::sessionBus()) {
    qDBusRegisterMetaType<ShortcutEntry>();
    qDBusRegisterMetaType<QList<ShortcutEntry>>();
    // The slot's types are found by name: QDBusObjectPath's is known only once registered.
    qRegisterMetaType<QDBusObjectPath>();
    bus_.connect(kPortalService, kPortalPath, kGlobalShortcutsInterface, QStringLiteral("Activated"), this,
                 SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
    bus_.disconnect(kPortalService, kPortalPath, kGlobalShortcutsInterface, QStringLiteral("Activated"), this,
                    SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

std::optional<QString> PortalGlobalShortcuts::unavailableReason() const {
    if (offered_ == false) {
        return kNoGlobalShortcutsMessage;
    }
    return std::nullopt;
}

QCoro::Task<std::vector<ShortcutBinding>> PortalGlobalShortcuts::bind(std::vector<GlobalShortcut> shortcuts) {
    // A bind waits for the ones asked for before it, so that the last one asked for is what stays.
    auto mine = std::make_shared<Completion<bool>>(true);
    const std::function<void(bool)> done = mine->callback();
    const std::shared_ptr<Completion<bool>> before = std::exchange(lastBind_, mine);
    QPointer<PortalGlobalShortcuts> self(this);
    if (before) {
        QCoro::Task<bool> waiting = before->wait();
        co_await waiting;
        if (!self) {
            co_return {};
        }
    }
    QCoro::Task<std::vector<ShortcutBinding>> binding = bindInOrder(std::move(shortcuts));
    std::vector<ShortcutBinding> results = co_await binding;
    done(true);
    co_return results;
}

QCoro::Task<std::vector<ShortcutBinding>>
PortalGlobalShortcuts::bindInOrder(std::vector<GlobalShortcut> shortcuts) {
    if (session_ && sameShortcuts(shortcuts, bound_)) {
        co_return boundResults_;
    }
    QPointer<PortalGlobalShortcuts> self(this);
    QCoro::Task<bool> asking = offered();
    const bool offers = co_await asking;
    if (!self) {
        co_return {};
    }
    // The new bindings replace the old ones; the desktop forgets those with their session.
    setSession(nullptr);
    bound_.clear();
    if (!offers) {
        co_return failAll(shortcuts, kNoGlobalShortcutsMessage);
    }
    std::vector<ShortcutBinding> results;
    for (const GlobalShortcut& shortcut : shortcuts) {
        results.push_back({shortcut.id, std::nullopt});
    }
    if (std::ranges::all_of(shortcuts,
                            [](const GlobalShortcut& shortcut) { return shortcut.keys.isEmpty(); })) {
        co_return results;
    }

    QCoro::Task<Expected<std::shared_ptr<PortalSession>>> binding = bindInNewSession(shortcuts, results);
    Expected<std::shared_ptr<PortalSession>> session = co_await binding;
    if (!self) {
        co_return {};
    }
    if (!session) {
        qCWarning(shortcutsLog).noquote()
            << "[Shortcuts] The desktop portal bound no shortcut:" << session.error().description;
        co_return failAll(shortcuts, session.error().description);
    }
    for (std::size_t i = 0; i < shortcuts.size(); ++i) {
        if (results[i].failure) {
            qCWarning(shortcutsLog).noquote() << "[Shortcuts]" << shortcuts[i].id << *results[i].failure;
        } else if (!shortcuts[i].keys.isEmpty()) {
            qCInfo(shortcutsLog).noquote() << "[Shortcuts]" << shortcuts[i].id << "bound to"
                                           << keyName(shortcuts[i].keys) << "through the desktop portal";
        }
    }
    setSession(std::move(session.value()));
    bound_ = std::move(shortcuts);
    boundResults_ = results;
    co_return results;
}

QCoro::Task<bool> PortalGlobalShortcuts::offered() {
    if (offered_) {
        co_return *offered_;
    }
    if (!bus_.isConnected()) {
        offered_ = false;
        co_return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kPropertiesInterface,
                                                      QStringLiteral("Get"));
    get << kGlobalShortcutsInterface << QStringLiteral("version");
    QDBusPendingCall pending = bus_.asyncCall(get);
    const QDBusMessage reply = co_await pending;
    const bool offers = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
    if (!offers) {
        qCInfo(shortcutsLog).noquote()
            << "[Shortcuts] The desktop portal has no global shortcuts:" << reply.errorMessage();
    }
    // Another bind may have learnt it meanwhile; the answer is the same.
    offered_ = offers;
    co_return offers;
}

QCoro::Task<Expected<std::shared_ptr<PortalSession>>>
PortalGlobalShortcuts::bindInNewSession(const std::vector<GlobalShortcut>& shortcuts,
                                        std::vector<ShortcutBinding>& results) {
    QDBusConnection bus = bus_;
    QCoro::Task<Expected<PortalResponse>> creating =
        portalRequest(bus, shortcutsCall(QStringLiteral("CreateSession")),
                      {{QStringLiteral("session_handle_token"), nextHandleToken()}});
    const Expected<PortalResponse> created = co_await creating;
    if (!created) {
        co_return created.error();
    }
    const QString path = sessionPathOf(created.value().results);
    if (created.value().code != ResponseCode::success || path.isEmpty()) {
        co_return Error(answerFailure(created.value().code));
    }
    std::shared_ptr<PortalSession> session = PortalSession::make(bus, path);

    QList<ShortcutEntry> entries;
    for (const GlobalShortcut& shortcut : shortcuts) {
        if (shortcut.keys.isEmpty()) {
            continue;
        }
        QVariantMap properties{{QStringLiteral("description"), shortcut.description}};
        // Keys without a name here go without: the desktop lets the user choose them.
        if (const std::optional<QString> trigger = shortcutTrigger(shortcut.keys)) {
            properties.insert(QStringLiteral("preferred_trigger"), *trigger);
        }
        entries.append({shortcut.id, properties});
    }
    QDBusMessage bindCall = shortcutsCall(QStringLiteral("BindShortcuts"));
    bindCall << QVariant::fromValue(QDBusObjectPath(path)) << QVariant::fromValue(entries) << QString();
    QCoro::Task<Expected<PortalResponse>> binding = portalRequest(bus, bindCall, {});
    const Expected<PortalResponse> bound = co_await binding;
    if (!bound) {
        co_return bound.error();
    }
    if (bound.value().code != ResponseCode::success) {
        co_return Error(answerFailure(bound.value().code));
    }
    // A desktop that lists what it bound may have left some out.
    if (const std::optional<std::set<QString>> ids = boundShortcutIds(bound.value().results)) {
        for (std::size_t i = 0; i < shortcuts.size(); ++i) {
            if (!shortcuts[i].keys.isEmpty() && !ids->contains(shortcuts[i].id)) {
                results[i].failure =
                    QStringLiteral("The desktop did not bind %1.").arg(keyName(shortcuts[i].keys));
            }
        }
    }
    co_return session;
}

void PortalGlobalShortcuts::setSession(std::shared_ptr<PortalSession> session) {
    session_ = std::move(session);
    if (session_) {
        session_->setClosedHandler([this] {
            qCInfo(shortcutsLog) << "[Shortcuts] The desktop ended the shortcut session";
            session_.reset();
            bound_.clear();
        });
    }
}

void PortalGlobalShortcuts::onActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                        const QVariantMap&) {
    if (session_ && session.path() == session_->path()) {
        emit activated(id);
    }
}

} // namespace backreel
