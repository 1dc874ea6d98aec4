#include "app/MenuBarContent.h"

#include "app/UpdateController.h"
#include "capture/RecordingManager.h"
#include "ui/StatusText.h"

#include <algorithm>

namespace backreel {

MenuBarContent::MenuBarContent(RecordingManager& manager, UpdateController& updaterController,
                               std::function<void()> showWindow, std::function<void()> quit, QObject* parent)
    : QObject(parent)
    , manager_(manager)
    , updaterController_(updaterController)
    , showWindow_(std::move(showWindow))
    , quit_(std::move(quit))
    , menu_(std::make_unique<QMenu>()) {
    menu_->setObjectName(QStringLiteral("applicationMenu"));
    menu_->setTitle(QStringLiteral("Backreel"));
    build();
    followStatus();
    connect(&manager_, &RecordingManager::statusChanged, this, &MenuBarContent::followStatus);
    connect(&manager_, &RecordingManager::unsavedClipChanged, this, &MenuBarContent::followStatus);
}

MenuBarContent::~MenuBarContent() = default;

void MenuBarContent::build() {
    // Every item any status shows, in menu order; a status shows its own and hides the others.
    // Actions are never deleted, as one may be the very action whose command changed the status.
    std::vector<MenuItem> everyItem = menuItems(RecordingStatus::Kind::idle);
    // After the recording item: the offers for an unsaved clip, then "Discard Clip".
    const std::vector<MenuItem> again = menuItems(RecordingStatus::Kind::error, UnsavedClipOffer::saveAgain);
    const std::vector<MenuItem> buffered =
        menuItems(RecordingStatus::Kind::error, UnsavedClipOffer::saveWhatWasBuffered);
    everyItem.insert(everyItem.begin() + 3,
                     {menuItems(RecordingStatus::Kind::buffering)[2],
                      menuItems(RecordingStatus::Kind::saving)[2], again[3], buffered[3], again[4]});

    for (const MenuItem& item : everyItem) {
        QAction* action = nullptr;
        switch (item.kind) {
        case MenuItem::Kind::separator:
            action = menu_->addSeparator();
            break;
        case MenuItem::Kind::text:
            // A line of text, not a command.
            action = menu_->addAction(literalMnemonicText(item.title));
            action->setEnabled(false);
            break;
        case MenuItem::Kind::command: {
            action = menu_->addAction(literalMnemonicText(item.title));
            const MenuCommand command = item.command;
            connect(action, &QAction::triggered, this, [this, command] { perform(command); });
            break;
        }
        }
        actions_.push_back({item, action});
    }
}

void MenuBarContent::followStatus() {
    const std::vector<MenuItem> shown = menuItems(manager_.status().kind(), manager_.unsavedClipOffer());
    for (const auto& [item, action] : actions_) {
        action->setVisible(std::find(shown.begin(), shown.end(), item) != shown.end());
    }
}

void MenuBarContent::perform(MenuCommand command) {
    switch (command) {
    case MenuCommand::showWindow:
        if (showWindow_) {
            showWindow_();
        }
        break;
    case MenuCommand::startRecording:
        // A task of its own: the menu does not wait for the start.
        manager_.startRecording();
        break;
    case MenuCommand::stopAndSave:
        manager_.stopAndSave();
        break;
    case MenuCommand::saveAgain:
        manager_.saveAgain();
        break;
    case MenuCommand::discardClip:
        manager_.discardUnsavedClip();
        break;
    case MenuCommand::keyboardShortcuts:
        emit keyboardShortcutsRequested();
        break;
    case MenuCommand::checkForUpdates:
        updaterController_.checkForUpdates();
        break;
    case MenuCommand::quit:
        if (quit_) {
            quit_();
        }
        break;
    case MenuCommand::none:
        break;
    }
}

} // namespace backreel
