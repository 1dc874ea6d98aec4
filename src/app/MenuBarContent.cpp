#include "app/MenuBarContent.h"

#include "app/UpdateController.h"
#include "capture/RecordingManager.h"
#include "ui/StatusText.h"

#include <algorithm>
#include <iterator>

namespace backreel {

MenuBarContent::MenuBarContent(RecordingManager& manager, UpdateController& updaterController,
                               std::function<void()> showWindow, std::function<void()> quit,
                               std::function<void()> openSettings, QObject* parent)
    : QObject(parent)
    , manager_(manager)
    , updaterController_(updaterController)
    , showWindow_(std::move(showWindow))
    , quit_(std::move(quit))
    , openSettings_(std::move(openSettings))
    , menu_(std::make_unique<QMenu>())
    , saveLastMenu_(std::make_unique<QMenu>()) {
    menu_->setObjectName(QStringLiteral("applicationMenu"));
    menu_->setTitle(QStringLiteral("Backreel"));
    build();
    followStatus();
    connect(&manager_, &RecordingManager::statusChanged, this, &MenuBarContent::followStatus);
    connect(&manager_, &RecordingManager::unsavedClipChanged, this, &MenuBarContent::followStatus);
    connect(&manager_, &RecordingManager::clipSavesChanged, this, &MenuBarContent::followStatus);
    connect(&manager_, &RecordingManager::bufferDurationChanged, this, &MenuBarContent::buildSaveLastMenu);
}

MenuBarContent::~MenuBarContent() = default;

void MenuBarContent::build() {
    // Every item any state shows, in menu order; a state shows its own and hides the others.
    // Actions are never deleted, as one may be the very action whose command changed the status.
    for (const MenuItem& item : everyMenuItem()) {
        QAction* action = nullptr;
        switch (item.kind) {
        case MenuItem::Kind::separator:
            action = menu_->addSeparator();
            break;
        case MenuItem::Kind::text:
        case MenuItem::Kind::progress:
            // A line of text, not a command.
            action = menu_->addAction(literalMnemonicText(item.title));
            action->setEnabled(false);
            break;
        case MenuItem::Kind::submenu:
            saveLastMenu_->setTitle(literalMnemonicText(item.title));
            saveLastMenu_->setObjectName(QStringLiteral("saveLastMenu"));
            action = menu_->addMenu(saveLastMenu_.get());
            buildSaveLastMenu();
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
    // The separator above "Settings…".
    const auto settings = std::ranges::find(actions_, QStringLiteral("Settings…"),
                                            [](const auto& entry) { return entry.first.title; });
    clipsAnchor_ = std::prev(settings)->second;
}

void MenuBarContent::buildSaveLastMenu() {
    saveLastMenu_->clear();
    for (const RecordingDuration length : saveLastLengths(manager_.bufferDuration())) {
        QAction* action = saveLastMenu_->addAction(literalMnemonicText(length.label()));
        const auto seconds = std::chrono::seconds(length.wholeSeconds());
        // A task of its own: the menu does not wait for the save.
        connect(action, &QAction::triggered, this, [this, seconds] { manager_.saveClip(seconds); });
    }
}

void MenuBarContent::followStatus() {
    const std::vector<MenuItem> shown =
        menuItems({manager_.status().kind(), manager_.unsavedClips(), manager_.clipSavesPending()});
    std::vector<MenuItem> clipItems;
    std::ranges::copy_if(shown, std::back_inserter(clipItems),
                         [](const MenuItem& item) { return item.clip != 0; });
    if (!std::ranges::equal(clipItems, clipActions_, {}, {}, &decltype(clipActions_)::value_type::first)) {
        for (const auto& [item, action] : clipActions_) {
            menu_->removeAction(action);
            // Later: it may be the very action whose command changed the clips.
            action->deleteLater();
        }
        clipActions_.clear();
        for (const MenuItem& item : clipItems) {
            auto* action = new QAction(literalMnemonicText(item.title), menu_.get());
            connect(action, &QAction::triggered, this,
                    [this, command = item.command, clip = item.clip] { perform(command, clip); });
            menu_->insertAction(clipsAnchor_, action);
            clipActions_.push_back({item, action});
        }
    }
    for (const auto& [item, action] : actions_) {
        const auto match = std::find_if(shown.begin(), shown.end(),
                                        [&item = item](const MenuItem& line) { return item.sameLine(line); });
        action->setVisible(match != shown.end());
        if (match != shown.end() && item.kind == MenuItem::Kind::progress) {
            action->setText(literalMnemonicText(match->title));
        }
    }
}

void MenuBarContent::perform(MenuCommand command, int clip) {
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
    case MenuCommand::saveClip:
        manager_.saveClip();
        break;
    case MenuCommand::review:
        emit reviewRequested();
        break;
    case MenuCommand::settings:
        if (openSettings_) {
            openSettings_();
        }
        break;
    case MenuCommand::saveAgain:
        manager_.saveAgain(clip == 0 ? std::nullopt : std::optional<int>(clip));
        break;
    case MenuCommand::discardClip:
        manager_.discardUnsavedClip(clip == 0 ? std::nullopt : std::optional<int>(clip));
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
    case MenuCommand::saveLast: // a submenu: its lengths save
    case MenuCommand::none:
        break;
    }
}

} // namespace backreel
