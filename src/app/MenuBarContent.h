#pragma once

#include "app/MenuItems.h"

#include <functional>
#include <memory>
#include <QMenu>
#include <QObject>
#include <utility>
#include <vector>

namespace backreel {

class RecordingManager;
class UpdateController;

// The application menu (the tray item's menu, also offered on the main window): its items follow
// the manager's status and its unsaved clip; start, stop and save start a task and return at once,
// as does the update check.
//
// Thread contract: main thread only.
class MenuBarContent final : public QObject {
    Q_OBJECT

public:
    MenuBarContent(RecordingManager& manager, UpdateController& updaterController,
                   std::function<void()> showWindow, std::function<void()> quit,
                   std::function<void()> openSettings = {}, QObject* parent = nullptr);
    ~MenuBarContent() override;

    QMenu* menu() const { return menu_.get(); }
    // What the item's action does, as if the user chose it; `clip` is the unsaved clip of Save
    // Again and Discard Clip.
    void perform(MenuCommand command, int clip = 0);
    // The "Save Last…" submenu: one length a line, up to the buffer's duration.
    QMenu* saveLastMenu() const { return saveLastMenu_.get(); }

signals:
    // "Keyboard Shortcuts…" was chosen.
    void keyboardShortcutsRequested();
    // "Review…" was chosen.
    void reviewRequested();

private:
    void build();
    void followStatus();
    void buildSaveLastMenu();

    RecordingManager& manager_;
    UpdateController& updaterController_;
    const std::function<void()> showWindow_;
    const std::function<void()> quit_;
    const std::function<void()> openSettings_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QMenu> saveLastMenu_;
    std::vector<std::pair<MenuItem, QAction*>> actions_;
    // The unsaved clips' items, inserted before clipsAnchor_ and replaced as the clips change.
    std::vector<std::pair<MenuItem, QAction*>> clipActions_;
    QAction* clipsAnchor_ = nullptr;
};

} // namespace backreel
