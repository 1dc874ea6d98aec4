#pragma once

#include <functional>
#include <QCoroTask>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

namespace backreel {

class RecordingManager;

// What a quit asks while unsaved clips are kept: "Save…" saves each of them from the save dialog
// on, "Discard" lets them go, "Cancel" keeps everything as it is. Tells whether the quit may go on:
// every clip saved or discarded.
//
// Thread contract: main thread only.
class UnsavedClipsQuestion final : public QObject {
    Q_OBJECT

public:
    explicit UnsavedClipsQuestion(RecordingManager& manager, QObject* parent = nullptr);
    ~UnsavedClipsQuestion() override;

    // Asks, then tells `answered` (later, once the user has answered and any saves are over); a
    // second ask while the question is open raises it and tells false at once.
    void ask(std::function<void(bool mayQuit)> answered);
    // The open question; null while none is.
    QMessageBox* box() const { return box_.data(); }

private:
    // Saves the clips one after the other; stops at the first that is not saved.
    QCoro::Task<> saveEach(std::function<void(bool mayQuit)> answered);

    RecordingManager& manager_;
    QPointer<QMessageBox> box_;
};

} // namespace backreel
