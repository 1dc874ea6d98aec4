#include "platform/dbus/GsettingsCommand.h"

#include <QProcess>

namespace backreel {

void runGsettingsCommand(const QString& program, const QStringList& arguments,
                         std::function<void(const GsettingsOutcome&)> done) {
    // No parent: the owner may be gone by the time the program exits, and destroying a running
    // QProcess would kill it (and wait for it) half-way through a settings change.
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());

    QObject::connect(process, &QProcess::finished, process,
                     [process, done](int exitCode, QProcess::ExitStatus exitStatus) {
                         process->deleteLater();
                         GsettingsOutcome outcome;
                         if (exitStatus == QProcess::CrashExit) {
                             outcome.failure = QStringLiteral("gsettings crashed");
                         } else if (exitCode != 0) {
                             outcome.failure =
                                 QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
                             if (outcome.failure.isEmpty()) {
                                 outcome.failure =
                                     QStringLiteral("gsettings exited with status %1").arg(exitCode);
                             }
                         } else {
                             outcome.succeeded = true;
                             outcome.output = process->readAllStandardOutput();
                         }
                         done(outcome);
                     });
    // A program that never started reports nothing through finished().
    QObject::connect(
        process, &QProcess::errorOccurred, process, [process, done](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart) {
                return;
            }
            process->deleteLater();
            done(GsettingsOutcome{
                false, {}, QStringLiteral("gsettings could not be started: %1").arg(process->errorString())});
        });
    process->start();
}

} // namespace backreel
