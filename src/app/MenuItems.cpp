#include "app/MenuItems.h"

#include "ui/StatusText.h"

#include <algorithm>

namespace backreel {

namespace {
MenuItem command(const QString& title, MenuCommand what) {
    return {MenuItem::Kind::command, title, what};
}
MenuItem separator() {
    return {MenuItem::Kind::separator, {}, MenuCommand::none};
}
MenuItem savingLine() {
    return {MenuItem::Kind::text, QStringLiteral("Saving…"), MenuCommand::none};
}

bool isBusy(RecordingStatus::Kind status) {
    return status == RecordingStatus::Kind::buffering || status == RecordingStatus::Kind::saving;
}

// Whether the state shows the item (any of the separators, always).
bool shows(const MenuItem& item, const MenuState& state) {
    const bool buffering = state.status == RecordingStatus::Kind::buffering;
    switch (item.command) {
    case MenuCommand::startRecording:
        return !isBusy(state.status);
    case MenuCommand::stopAndSave:
    case MenuCommand::saveClip:
    case MenuCommand::saveLast:
    case MenuCommand::review:
        return buffering;
    case MenuCommand::none:
        break;
    default:
        return true;
    }
    if (item.kind == MenuItem::Kind::progress) {
        return state.clipSavesPending > 0;
    }
    if (item == savingLine()) {
        return state.status == RecordingStatus::Kind::saving;
    }
    return true;
}
} // namespace

std::vector<MenuItem> everyMenuItem() {
    return {
        command(QStringLiteral("Show Window"), MenuCommand::showWindow),
        separator(),
        command(QStringLiteral("Start Recording"), MenuCommand::startRecording),
        command(QStringLiteral("Stop & Save"), MenuCommand::stopAndSave),
        savingLine(),
        command(QStringLiteral("Save Clip"), MenuCommand::saveClip),
        {MenuItem::Kind::submenu, QStringLiteral("Save Last…"), MenuCommand::saveLast},
        command(QStringLiteral("Review…"), MenuCommand::review),
        {MenuItem::Kind::progress, {}, MenuCommand::none},
        separator(),
        command(QStringLiteral("Settings…"), MenuCommand::settings),
        command(QStringLiteral("Keyboard Shortcuts…"), MenuCommand::keyboardShortcuts),
        command(QStringLiteral("Check for Updates…"), MenuCommand::checkForUpdates),
        separator(),
        command(QStringLiteral("Quit Backreel"), MenuCommand::quit),
    };
}

std::vector<MenuItem> menuItems(const MenuState& state) {
    std::vector<MenuItem> items = everyMenuItem();
    std::erase_if(items, [&](const MenuItem& item) { return !shows(item, state); });
    for (MenuItem& item : items) {
        if (item.kind == MenuItem::Kind::progress) {
            item.title = clipSavesProgressText(state.clipSavesPending);
        }
    }
    if (isBusy(state.status)) {
        return items;
    }
    // Before the separator above "Settings…".
    auto place = std::ranges::find(items, QStringLiteral("Settings…"), &MenuItem::title) - 1;
    for (const UnsavedClipInfo& clip : state.unsavedClips) {
        const QString details = unsavedClipDetails(clip);
        place = items.insert(place, {MenuItem::Kind::command,
                                     unsavedClipOfferTitle(clip.offer) + QLatin1Char(' ') + details,
                                     MenuCommand::saveAgain, clip.id}) +
                1;
        place = items.insert(place, {MenuItem::Kind::command, QStringLiteral("Discard Clip ") + details,
                                     MenuCommand::discardClip, clip.id}) +
                1;
    }
    return items;
}

} // namespace backreel
