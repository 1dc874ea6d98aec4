#include <gtest/gtest.h>

#if defined(BACKREEL_WIDGET_TESTS)
#if defined(__SANITIZE_THREAD__)
// Qt's GUI, widget, platform and network libraries are not built with ThreadSanitizer either (see
// tests/tsan.supp): their threads hand memory over under locks TSan cannot see.
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

// A Qt application and settings in a private folder; widget tests on the X server or compositor there
// is, else off screen, in one look (Fusion).
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
