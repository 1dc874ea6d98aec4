#pragma once

#include "app/RecordIconEngine.h"
#include "common/RecordingStatus.h"

#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

namespace backreel {

class RecordingManager;

// The tray item: a record circle, filled only while buffering, redrawn when the status or the
// desktop's colours change; a click opens the application menu.
//
// Thread contract: main thread only.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    // `menu` stays owned by the caller and must outlive the tray item.
    TrayIcon(RecordingManager& manager, QMenu* menu, QObject* parent = nullptr);

    // The drawing for a status: filled only while buffering.
    static RecordIconEngine::Style styleFor(RecordingStatus::Kind status);

    RecordIconEngine::Style shownStyle() const { return shownStyle_; }
    QSystemTrayIcon& systemTrayIcon() { return trayIcon_; }
    void show() { trayIcon_.show(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateIcon();

    RecordingManager& manager_;
    QMenu* menu_;
    QSystemTrayIcon trayIcon_;
    RecordIconEngine::Style shownStyle_ = RecordIconEngine::Style::outline;
};

} // namespace backreel
