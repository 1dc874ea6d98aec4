#include "app/BackreelApp.h"
#include "app/CommandLine.h"
#include "app/RemoteClient.h"
#include "app/RemoteControl.h"
#include "app/RemoteControlService.h"
#include "core/log/Log.h"
#include "core/MemoryTuning.h"
#include "export/DesktopSaveFlow.h"
#include "export/SaveLocation.h"
#include "platform/dbus/DbusSaveNotifier.h"
#include "platform/ShareableContent.h"

#include <cstdio>
#include <QApplication>
#include <QSystemTrayIcon>
#include <QTextStream>

namespace {

QStringList argumentsAfterName(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

// A command for the running instance, in a process without windows.
int sendCommand(int argc, char* argv[], const backreel::CommandLine& command) {
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream errors(stderr);
    return backreel::RemoteClient(QDBusConnection::sessionBus(), out, errors).run(command);
}

} // namespace

int main(int argc, char* argv[]) {
    backreel::tuneAllocator();
    const backreel::CommandLine command = backreel::parseCommandLine(argumentsAfterName(argc, argv));
    switch (command.action) {
    case backreel::CommandLine::Action::help:
        std::fputs(backreel::commandLineHelp().toLocal8Bit().constData(), stdout);
        return 0;
    case backreel::CommandLine::Action::version:
        std::printf("Backreel %s\n", BACKREEL_VERSION);
        return 0;
    case backreel::CommandLine::Action::invalid:
        std::fprintf(stderr, "backreel: %s\nTry 'backreel --help'.\n",
                     command.error.toLocal8Bit().constData());
        return 2;
    case backreel::CommandLine::Action::run:
        break;
    default:
        return sendCommand(argc, argv, command);
    }

    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("strandloft"));
    QCoreApplication::setApplicationName(QStringLiteral("Backreel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BACKREEL_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Backreel"));
    // Ties our windows and notifications to com.strandloft.Backreel.desktop.
    QGuiApplication::setDesktopFileName(backreel::kApplicationID);
    // Dialogs and the main window come and go; the application decides itself when it ends.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    backreel::installJournalMessageHandler();

    backreel::Platform platform = backreel::loadPlatform();
    auto saveFlow = std::make_shared<backreel::DesktopSaveFlow>(
        std::make_shared<backreel::SavePanel>(),
        backreel::MovieWriterServices{platform.movieFiles, platform.movieProbe, platform.audioCodecs},
        platform.fileReveal);

    backreel::BackreelAppOptions options;
    options.tray = QSystemTrayIcon::isSystemTrayAvailable() ? backreel::TrayPresence::available
                                                            : backreel::TrayPresence::unavailable;
    options.version = QCoreApplication::applicationVersion();
    options.saveNotifier = std::make_shared<backreel::DbusSaveNotifier>(platform.fileReveal);
    options.bufferAtLaunch = command.buffer;
    backreel::BackreelApp app(std::move(platform), std::move(saveFlow), options);
    QObject::connect(&app, &backreel::BackreelApp::quitRequested, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // One Backreel at a time: a second start shows the first one's window and ends.
    backreel::RemoteControlService service(app.remoteControl());
    if (service.claim(QDBusConnection::sessionBus()) == backreel::RemoteControlService::Claim::taken) {
        QTextStream out(stdout);
        QTextStream errors(stderr);
        backreel::RemoteClient client(QDBusConnection::sessionBus(), out, errors);
        if (command.buffer) {
            return client.run({backreel::CommandLine::Action::start, std::nullopt, false, false, {}});
        }
        return client.showWindow() ? 0 : 1;
    }
    app.start();
    return QApplication::exec();
}
