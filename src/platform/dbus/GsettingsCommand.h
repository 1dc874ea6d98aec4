#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace backreel {

// What became of one gsettings run.
struct GsettingsOutcome {
    bool succeeded = false;
    QByteArray output; // standard output
    QString failure;   // what went wrong, in gsettings' own words when it printed any
};

// Starts `program arguments` and returns at once; done is called from the calling thread's event
// loop when the program has exited or could not be started. The process object deletes itself
// afterwards, so a run outlives whoever started it. Main thread.
void runGsettingsCommand(const QString& program, const QStringList& arguments,
                         std::function<void(const GsettingsOutcome&)> done);

} // namespace backreel
