#pragma once

#include "app/CommandLine.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTextStream>

namespace backreel {

// The command line's side of the remote control: sends one command to the Backreel that owns
// com.strandloft.Backreel on the session bus and says what came of it. Blocking; for a process
// that does nothing else.
class RemoteClient {
public:
    explicit RemoteClient(QDBusConnection bus, QTextStream& out, QTextStream& errors);

    // Runs a command of the running instance (saveClip, start, stopAndSave, status, quit); the exit
    // status: 0 when it was taken, 1 when it was refused or no Backreel runs.
    int run(const CommandLine& command);
    // Asks the running instance to show its window; whether it answered.
    bool showWindow();

private:
    enum class StatusLine { full, titleOnly };

    int call(const QString& method, const QVariantList& arguments = {});
    QDBusMessage callFor(const QString& method, const QVariantList& arguments, int timeoutMs);
    // 0 for an answer; for an error, says it and gives 1.
    int failureOf(const QDBusMessage& reply);
    // Waits as long as the start takes (the desktop's dialog) and prints the status line.
    int start();
    // Waits as long as the save takes (the save dialog) and prints the saved file.
    int stopAndSave();
    int printStatus(StatusLine line = StatusLine::full);
    int quit(bool discardUnsaved);
    bool instanceRuns();
    int fail(const QString& message);

    QDBusConnection bus_;
    QTextStream& out_;
    QTextStream& errors_;
};

} // namespace backreel
