#include "app/TrayIcon.h"

#include "capture/RecordingManager.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>

namespace backreel {

TrayIcon::TrayIcon(RecordingManager& manager, QMenu* menu, QObject* parent)
    : QObject(parent)
    , manager_(manager)
    , menu_(menu) {
    trayIcon_.setToolTip(QStringLiteral("Backreel"));
    trayIcon_.setContextMenu(menu_);
    // Trays give the left click to the item: like a menu-bar item, it pulls the menu down.
    connect(&trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && menu_ != nullptr && !menu_->isVisible()) {
            menu_->popup(QCursor::pos());
        }
    });
    connect(&manager_, &RecordingManager::statusChanged, this, &TrayIcon::updateIcon);
    // A change of the desktop's theme redraws the icon in its new text colour.
    qApp->installEventFilter(this);
    updateIcon();
}

RecordIconEngine::Style TrayIcon::styleFor(RecordingStatus::Kind status) {
    return status == RecordingStatus::Kind::buffering ? RecordIconEngine::Style::filled
                                                      : RecordIconEngine::Style::outline;
}

void TrayIcon::updateIcon() {
    shownStyle_ = styleFor(manager_.status().kind());
    trayIcon_.setIcon(QIcon(new RecordIconEngine(shownStyle_)));
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        updateIcon();
    }
    return false;
}

} // namespace backreel
