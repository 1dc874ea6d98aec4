#include "app/RemoteControl.h"

#include "capture/RecordingManager.h"
#include "ui/StatusText.h"

#include <QTimer>

namespace backreel {

namespace {
QString stateWord(RecordingStatus::Kind kind) {
    switch (kind) {
    case RecordingStatus::Kind::idle:
        return QStringLiteral("idle");
    case RecordingStatus::Kind::buffering:
        return QStringLiteral("buffering");
    case RecordingStatus::Kind::saving:
        return QStringLiteral("saving");
    case RecordingStatus::Kind::saved:
        return QStringLiteral("saved");
    case RecordingStatus::Kind::error:
        return QStringLiteral("error");
    }
    return {};
}

const QString kNotBuffering = QStringLiteral("Backreel is not recording.");
const QString kSaving = QStringLiteral("Backreel is saving; start again when it is done.");
} // namespace

RemoteControl::Status RemoteControl::statusOf(const RecordingStatus& status) {
    return Status{stateWord(status.kind()), statusTitle(status),
                  status.is(RecordingStatus::Kind::saved) ? status.location().toLocalFile() : QString()};
}

RemoteControl::RemoteControl(RecordingManager& manager, std::function<void()> showWindow,
                             std::function<void()> quit, QObject* parent)
    : QObject(parent)
    , manager_(manager)
    , showWindow_(std::move(showWindow))
    , quit_(std::move(quit))
    , shown_(status()) {
    connect(&manager_, &RecordingManager::statusChanged, this, [this] {
        // A change the manager publishes may not change what a script reads.
        Status now = status();
        if (now != shown_) {
            shown_ = std::move(now);
            emit statusChanged();
        }
    });
}

std::optional<QString> RemoteControl::mark(const QString& label) {
    if (!manager_.status().is(RecordingStatus::Kind::buffering)) {
        return kNotBuffering;
    }
    if (!manager_.mark(label)) {
        return QStringLiteral("There is no picture to mark yet.");
    }
    return std::nullopt;
}

std::optional<QString> RemoteControl::saveAroundMark(std::chrono::seconds seconds) {
    if (!manager_.status().is(RecordingStatus::Kind::buffering)) {
        return kNotBuffering;
    }
    if (!manager_.lastMarker()) {
        return QStringLiteral("There is no marker to save around: mark a moment first.");
    }
    manager_.saveAroundMark(seconds);
    return std::nullopt;
}

std::optional<QString> RemoteControl::review() {
    if (!manager_.status().is(RecordingStatus::Kind::buffering)) {
        return kNotBuffering;
    }
    if (manager_.session() == nullptr || manager_.session()->videoStore().count() == 0) {
        return QStringLiteral("There is no picture to review yet.");
    }
    emit reviewRequested();
    return std::nullopt;
}

std::optional<QString> RemoteControl::saveClip(std::optional<std::chrono::seconds> length) {
    if (!manager_.status().is(RecordingStatus::Kind::buffering)) {
        return kNotBuffering;
    }
    // The clip is cut now; its save goes on after the answer, and its outcome shows in the
    // status, the SavedFile property and the notification.
    manager_.saveClip(length);
    return std::nullopt;
}

QCoro::Task<std::optional<QString>> RemoteControl::startRecording() {
    if (manager_.status().is(RecordingStatus::Kind::buffering)) {
        co_return QStringLiteral("Backreel is recording already.");
    }
    if (manager_.status().is(RecordingStatus::Kind::saving)) {
        co_return kSaving;
    }
    QCoro::Task<> starting = manager_.startRecording();
    co_await starting;
    if (manager_.status().is(RecordingStatus::Kind::buffering)) {
        co_return std::nullopt;
    }
    co_return manager_.status().is(RecordingStatus::Kind::error)
        ? manager_.status().message()
        : QStringLiteral("The recording did not start: the desktop's dialog was cancelled.");
}

QCoro::Task<Expected<QString>> RemoteControl::stopAndSaveAndWait() {
    if (!manager_.status().is(RecordingStatus::Kind::buffering)) {
        co_return Error(kNotBuffering);
    }
    QCoro::Task<> stopping = manager_.stopAndSave();
    co_await stopping;
    const RecordingStatus& outcome = manager_.status();
    if (outcome.is(RecordingStatus::Kind::saved)) {
        co_return outcome.location().toLocalFile();
    }
    co_return Error(outcome.is(RecordingStatus::Kind::error) ? outcome.message()
                                                             : QStringLiteral("The save was cancelled."));
}

std::optional<QString> RemoteControl::stopAndSave() {
    if (!manager_.status().is(RecordingStatus::Kind::buffering)) {
        return kNotBuffering;
    }
    // A task of its own: the save dialog may wait for the user.
    manager_.stopAndSave();
    return std::nullopt;
}

std::optional<QString> RemoteControl::toggleRecording() {
    if (manager_.status().is(RecordingStatus::Kind::buffering)) {
        return stopAndSave();
    }
    if (manager_.status().is(RecordingStatus::Kind::saving)) {
        return kSaving;
    }
    manager_.startRecording();
    return std::nullopt;
}

void RemoteControl::showWindow() {
    if (showWindow_) {
        showWindow_();
    }
}

std::optional<QString> RemoteControl::quit(bool discardUnsaved) {
    if (!quit_) {
        return std::nullopt;
    }
    if (const int unsaved = manager_.unsavedClipsToAskAbout(); unsaved > 0 && !discardUnsaved) {
        return unsaved == 1
                   ? QStringLiteral("Backreel keeps 1 unsaved clip: save or discard it in its menu, or "
                                    "quit with --discard-unsaved.")
                   : QStringLiteral("Backreel keeps %1 unsaved clips: save or discard them in its menu, "
                                    "or quit with --discard-unsaved.")
                         .arg(unsaved);
    }
    manager_.discardUnsavedClips();
    if (!manager_.status().is(RecordingStatus::Kind::saving)) {
        QTimer::singleShot(0, this, [this] { quit_(); });
        return std::nullopt;
    }
    if (!quitAfterSave_) {
        quitAfterSave_ = connect(&manager_, &RecordingManager::statusChanged, this, [this] {
            if (!manager_.status().is(RecordingStatus::Kind::saving)) {
                disconnect(quitAfterSave_);
                quit_();
            }
        });
    }
    return std::nullopt;
}

RemoteControl::Status RemoteControl::status() const {
    return statusOf(manager_.status());
}

} // namespace backreel
