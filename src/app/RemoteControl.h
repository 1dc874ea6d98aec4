#pragma once

#include "common/RecordingStatus.h"
#include "core/Error.h"

#include <chrono>
#include <functional>
#include <optional>
#include <QCoroTask>
#include <QObject>
#include <QString>

namespace backreel {

class RecordingManager;

// The recorder as commands from outside its windows see it: the D-Bus service (and the command
// line through it) and the global shortcuts. Each command either is on its way or is refused with
// a text saying why; what it leads to shows in status().
//
// Thread contract: main thread only.
class RemoteControl final : public QObject {
    Q_OBJECT

public:
    // What a script reads of the recorder.
    struct Status {
        QString state;     // "idle", "buffering", "saving", "saved" or "error"
        QString text;      // the status line's text
        QString savedFile; // the file of the last save, while the status says it was saved

        friend bool operator==(const Status&, const Status&) = default;
    };
    static Status statusOf(const RecordingStatus& status);

    RemoteControl(RecordingManager& manager, std::function<void()> showWindow, std::function<void()> quit,
                  QObject* parent = nullptr);

    // Saves the last `length` seconds (the chosen duration when none) and keeps buffering.
    std::optional<QString> saveClip(std::optional<std::chrono::seconds> length);
    // Marks the newest picture's moment, with a label or none.
    std::optional<QString> mark(const QString& label);
    // Saves `seconds` before and after the last marker once the seconds after it are buffered,
    // without waiting for it.
    std::optional<QString> saveAroundMark(std::chrono::seconds seconds);
    // Opens the review window on what is buffered now (reviewRequested()).
    std::optional<QString> review();
    // Starts buffering; ends once the start has, with the reason when it failed.
    QCoro::Task<std::optional<QString>> startRecording();
    // Stops buffering and saves, as "Stop & Save" does, without waiting for the save.
    std::optional<QString> stopAndSave();
    // The same, ending once the save has (the save dialog may wait for the user): the saved file,
    // or why there is none (refused, failed, or cancelled in the dialog).
    QCoro::Task<Expected<QString>> stopAndSaveAndWait();
    // Start/Stop: starts when not buffering, stops and saves when buffering.
    std::optional<QString> toggleRecording();
    void showWindow();
    // Ends Backreel; while a clip is being saved, once the save is over, so that it is not lost.
    // Refused, with the reason, while unsaved clips are kept, unless `discardUnsaved` lets them go.
    std::optional<QString> quit(bool discardUnsaved);

    Status status() const;

signals:
    void statusChanged();
    // Review was asked for while buffering.
    void reviewRequested();

private:
    RecordingManager& manager_;
    const std::function<void()> showWindow_;
    const std::function<void()> quit_;
    Status shown_;
    QMetaObject::Connection quitAfterSave_;
};

} // namespace backreel
