#include "app/MenuItems.h"

#include "ui/StatusText.h"

namespace backreel {

namespace {
MenuItem command(const QString& title, MenuCommand what) {
    return {MenuItem::Kind::command, title, what};
}
MenuItem separator() {
    return {MenuItem::Kind::separator, {}, MenuCommand::none};
}

MenuItem recordingItem(RecordingStatus::Kind status) {
    switch (status) {
    case RecordingStatus::Kind::buffering:
        return command(QStringLiteral("Stop & Save"), MenuCommand::stopAndSave);
    case RecordingStatus::Kind::saving:
        return {MenuItem::Kind::text, QStringLiteral("Saving…"), MenuCommand::none};
    case RecordingStatus::Kind::idle:
    case RecordingStatus::Kind::saved:
    case RecordingStatus::Kind::error:
        break;
    }
    return command(QStringLiteral("Start Recording"), MenuCommand::startRecording);
}
} // namespace

std::vector<MenuItem> menuItems(RecordingStatus::Kind status, UnsavedClipOffer offer) {
    std::vector<MenuItem> items{
        command(QStringLiteral("Show Window"), MenuCommand::showWindow),
        separator(),
        recordingItem(status),
    };
    const bool busy = status == RecordingStatus::Kind::buffering || status == RecordingStatus::Kind::saving;
    if (offer != UnsavedClipOffer::none && !busy) {
        items.push_back(command(unsavedClipOfferTitle(offer), MenuCommand::saveAgain));
        items.push_back(command(QStringLiteral("Discard Clip"), MenuCommand::discardClip));
    }
    items.insert(items.end(),
                 {
                     separator(),
                     command(QStringLiteral("Keyboard Shortcuts…"), MenuCommand::keyboardShortcuts),
                     command(QStringLiteral("Check for Updates…"), MenuCommand::checkForUpdates),
                     separator(),
                     command(QStringLiteral("Quit Backreel"), MenuCommand::quit),
                 });
    return items;
}

} // namespace backreel
