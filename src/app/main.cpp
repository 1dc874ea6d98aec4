#include "app/BackreelApp.h"
#include "export/DesktopSaveFlow.h"
#include "export/SaveLocation.h"
#include "platform/dbus/DbusSaveNotifier.h"
#include "platform/log/Log.h"
#include "platform/ShareableContent.h"

#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("strandloft"));
    QCoreApplication::setApplicationName(QStringLiteral("Backreel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BACKREEL_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Backreel"));
    // Ties our windows and notifications to com.strandloft.Backreel.desktop.
    QGuiApplication::setDesktopFileName(backreel::kBundleIdentifier);
    // Dialogs and the main window come and go; the application decides itself when it ends.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    backreel::installJournalMessageHandler();

    backreel::Platform platform = backreel::loadPlatform();
    auto saveFlow = std::make_shared<backreel::DesktopSaveFlow>(
        std::make_shared<backreel::SavePanel>(),
        backreel::MovieWriterServices{platform.movieFiles, platform.movieProbe}, platform.fileReveal);

    backreel::BackreelAppOptions options;
    options.tray = QSystemTrayIcon::isSystemTrayAvailable() ? backreel::TrayPresence::available
                                                            : backreel::TrayPresence::unavailable;
    options.version = QCoreApplication::applicationVersion();
    options.saveNotifier = std::make_shared<backreel::DbusSaveNotifier>(platform.fileReveal);
    backreel::BackreelApp app(std::move(platform), std::move(saveFlow), options);
    QObject::connect(&app, &backreel::BackreelApp::quitRequested, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    app.start();
    return QApplication::exec();
}
