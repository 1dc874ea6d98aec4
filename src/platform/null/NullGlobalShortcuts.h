#pragma once

#include "platform/GlobalShortcuts.h"

namespace backreel {

// For desktops where Backreel cannot bind keys itself: binds nothing and says why.
class NullGlobalShortcuts final : public GlobalShortcuts {
    Q_OBJECT

public:
    explicit NullGlobalShortcuts(QString reason, QObject* parent = nullptr)
        : GlobalShortcuts(parent)
        , reason_(std::move(reason)) {}

    std::optional<QString> unavailableReason() const override { return reason_; }
    QCoro::Task<std::vector<ShortcutBinding>> bind(std::vector<GlobalShortcut> shortcuts) override {
        std::vector<ShortcutBinding> results;
        for (const GlobalShortcut& shortcut : shortcuts) {
            results.push_back({shortcut.id, std::nullopt});
        }
        co_return results;
    }

private:
    QString reason_;
};

} // namespace backreel
