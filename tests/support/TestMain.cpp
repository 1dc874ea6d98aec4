#include <gtest/gtest.h>

#if defined(BACKREEL_WIDGET_TESTS)
#if defined(__SANITIZE_THREAD__)
// Qt's GUI, widget, platform and network libraries are not built with ThreadSanitizer either (see
// tests/tsan.supp for Qt Core): the X event reader thread, the image conversion pool and the
// network thread hand memory over under locks TSan cannot see, and Xlib tears its locks down at
// exit while holding one. Our own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6XcbQpa.so.6\n"
           "called_from_lib:libQt6Network.so.6\n"
           "called_from_lib:libxcb.so.1\n"
           "mutex:libX11.so.6\n";
}
#endif
#include <QApplication>
#endif
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

// Every test program runs with a Qt application (for event loops and coroutines) and the user's
// settings in a private folder. Widget tests run on the virtual desktop's X server when there is
// one (or on the Wayland compositor that scripts/real-compositor asks for), else off screen, in one
// look (Fusion) whatever the desktop.
int main(int argc, char* argv[]) {
#if defined(BACKREEL_WIDGET_TESTS)
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariable("QT_QPA_PLATFORM") != u"wayland") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("strandloft"));
    QCoreApplication::setApplicationName(QStringLiteral("Backreel"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setQuitOnLastWindowClosed(false);
#else
    QCoreApplication application(argc, argv);
#endif
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
