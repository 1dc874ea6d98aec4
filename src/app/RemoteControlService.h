#pragma once

#include "app/RemoteControl.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>

namespace backreel {

// Backreel on the session bus: the name com.strandloft.Backreel, owned by one instance at a time,
// and the object /com/strandloft/Backreel with the interface com.strandloft.Backreel:
//
//   SaveClip(i seconds), SaveClip(u seconds), SaveClip()
//                                    saves the last seconds (0 or none: the chosen duration);
//                                    the int32 one comes first, so that tools which call by the
//                                    first signature they see (gdbus) pass a plain number
//                                    (negative: refused)
//   Mark(s label)                    marks the newest picture's moment (label may be empty): a
//                                    chapter in the clips that hold it
//   SaveAroundMark(u seconds)        saves the seconds (0: 10) before and after the last marker,
//                                    once those after it have been buffered
//   Review()                         opens the review window on what is buffered now
//   StartRecording()                 answers once buffering runs, or with the start's failure
//   StopAndSave() -> s path          stops and saves, as "Stop & Save" does; answers once the save
//                                    is over (the dialog may wait for the user) with the file, or
//                                    with Error.Failed and why there is none
//   ShowWindow()                     shows the main window
//   Quit()                           ends Backreel; refused while it keeps unsaved clips
//   QuitDiscardingUnsaved()          ends Backreel, letting its unsaved clips go
//   State, Status, SavedFile         what RemoteControl::Status holds, read-only properties
//   StatusChanged(s state, s status) after every change, as is PropertiesChanged
//
// A command the recorder cannot take now fails with com.strandloft.Backreel.Error.Refused and
// the reason; a start that fails, with com.strandloft.Backreel.Error.Failed.
//
// Thread contract: main thread only.
class RemoteControlService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.strandloft.Backreel")
    Q_PROPERTY(QString State READ state)
    Q_PROPERTY(QString Status READ statusText)
    Q_PROPERTY(QString SavedFile READ savedFile)

public:
    static inline const QString kServiceName = QStringLiteral("com.strandloft.Backreel");
    static inline const QString kObjectPath = QStringLiteral("/com/strandloft/Backreel");
    static inline const QString kInterface = QStringLiteral("com.strandloft.Backreel");
    static inline const QString kRefusedError = QStringLiteral("com.strandloft.Backreel.Error.Refused");
    static inline const QString kFailedError = QStringLiteral("com.strandloft.Backreel.Error.Failed");

    enum class Claim {
        owned, // this instance answers on the bus
        taken, // another instance owns the name
        noBus, // there is no session bus (or it refused us): Backreel runs on its own
    };

    explicit RemoteControlService(RemoteControl& remote, QObject* parent = nullptr);
    ~RemoteControlService() override;

    // Puts the object on the bus, then asks for the name, without queueing for it.
    Claim claim(QDBusConnection bus);

    QString state() const { return remote_.status().state; }
    QString statusText() const { return remote_.status().text; }
    QString savedFile() const { return remote_.status().savedFile; }

public slots:
    Q_SCRIPTABLE void SaveClip(int seconds);
    Q_SCRIPTABLE void SaveClip(uint seconds);
    Q_SCRIPTABLE void SaveClip();
    Q_SCRIPTABLE void Mark(const QString& label);
    Q_SCRIPTABLE void SaveAroundMark(uint seconds);
    Q_SCRIPTABLE void Review();
    Q_SCRIPTABLE void StartRecording();
    Q_SCRIPTABLE QString StopAndSave();
    Q_SCRIPTABLE void ShowWindow();
    Q_SCRIPTABLE void Quit();
    Q_SCRIPTABLE void QuitDiscardingUnsaved();

signals:
    Q_SCRIPTABLE void StatusChanged(const QString& state, const QString& status);

private:
    void answer(const std::optional<QString>& refusal);
    void publishStatus();

    RemoteControl& remote_;
    std::optional<QDBusConnection> bus_;
};

} // namespace backreel
