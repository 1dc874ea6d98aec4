#pragma once

#include "platform/Platform.h"

#include <memory>
#include <optional>
#include <QCoroTask>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QUrl>

namespace backreel {

class ContentView;
class GlobalHotkeys;
class KeyboardShortcutsDialog;
class SettingsDialog;
class MenuBarContent;
class RecorderSettings;
class RecordingManager;
class RemoteControl;
class ReviewWindow;
class SaveFlow;
class SaveNotifier;
class TargetPicker;
class TrayIcon;
class UnsavedClipsQuestion;
class UpdateController;

// Whether the desktop shows tray items. Without a tray the main window is the application.
enum class TrayPresence { available, unavailable };

struct BackreelAppOptions {
    TrayPresence tray = TrayPresence::available;
    QString version;
    QUrl feedUrl; // the update feed; empty for the build's own
    // Told of every save's outcome; none sends no notifications.
    std::shared_ptr<SaveNotifier> saveNotifier;
    // Start buffering at once (as `--buffer` asks), as the setting "Start buffering when Backreel
    // starts" does: with the last recording's target, in the tray where there is one.
    bool bufferAtLaunch = false;
};

// The application: creates the recorder's settings and the one recording manager, then the update
// controller and the application menu; once started, the main window and then the tray item. It
// keeps them until it ends, and hands each the platform services, settings and log it uses. With a
// tray, closing the main window leaves Backreel running there and "Show Window" opens a new one;
// without a tray, closing the main window quits.
//
// Thread contract: main thread only.
class BackreelApp final : public QObject {
    Q_OBJECT

public:
    BackreelApp(Platform platform, std::shared_ptr<SaveFlow> saveFlow, BackreelAppOptions options,
                QObject* parent = nullptr);
    ~BackreelApp() override;

    // Shows the main window, then the tray item where there is a tray, and binds the global
    // shortcuts.
    void start();
    // "Show Window": opens the main window, or brings it to the front, and activates it.
    void showWindow();
    // "Keyboard Shortcuts…": opens the dialog, or brings it to the front.
    void showKeyboardShortcuts();
    // "Settings…": opens the settings dialog, or brings it to the front.
    void showSettings();
    // "Review…": opens the review window on what is buffered now, or brings the open one to the
    // front. Nothing unless buffering.
    void showReview();
    // Null while no review window is open.
    ReviewWindow* reviewWindow() const;

    RecordingManager& recordingManager() const { return *recordingManager_; }
    RecorderSettings& recorderSettings() const { return *recorderSettings_; }
    UpdateController& updaterController() const { return *updaterController_; }
    MenuBarContent& menuBarContent() const { return *menuBarContent_; }
    // What the D-Bus service and the global shortcuts command.
    RemoteControl& remoteControl() const { return *remoteControl_; }
    // Null where the platform has no shortcut service.
    GlobalHotkeys* hotkeys() const { return hotkeys_.get(); }
    // Null while the dialog is closed.
    KeyboardShortcutsDialog* keyboardShortcutsDialog() const;
    // Null without a tray, and until started.
    TrayIcon* trayIcon() const { return trayIcon_.get(); }
    // Null while the main window is closed.
    ContentView* mainWindow() const;
    // Null while the settings dialog is closed.
    SettingsDialog* settingsDialog() const;
    TrayPresence trayPresence() const { return options_.tray; }

    // "Quit Backreel", or closing the main window without a tray: with unsaved clips, asks first
    // what becomes of them; quits once no clip waits to be saved (at once when none does).
    void requestQuit();
    // The question a quit asks while unsaved clips are kept.
    UnsavedClipsQuestion& unsavedClipsQuestion() { return *unsavedQuestion_; }

signals:
    // The application may end now: a quit was asked for and no clip waits to be saved.
    void quitRequested();

private:
    ContentView* createWindow();
    void windowClosed(const QPoint& position);
    // Says so in the tray when a shortcut's keys could not be bound at start.
    void tellUnboundShortcuts();
    // Buffers the last recording's target (saying in the status what could not come back).
    QCoro::Task<> bufferLastTarget();
    // While unsaved clips are kept the main window shows, without taking the focus.
    void showWhileClipsAreKept();

    const BackreelAppOptions options_;
    const Platform platform_;
    const std::shared_ptr<RecorderSettings> recorderSettings_;
    std::unique_ptr<RecordingManager> recordingManager_;
    std::unique_ptr<UpdateController> updaterController_;
    std::unique_ptr<TargetPicker> targetPicker_;
    std::unique_ptr<MenuBarContent> menuBarContent_;
    std::unique_ptr<RemoteControl> remoteControl_;
    std::unique_ptr<GlobalHotkeys> hotkeys_;
    std::unique_ptr<UnsavedClipsQuestion> unsavedQuestion_;
    QPointer<KeyboardShortcutsDialog> shortcutsDialog_;
    std::unique_ptr<TrayIcon> trayIcon_;
    QPointer<ContentView> window_;
    QPointer<SettingsDialog> settings_;
    QPointer<ReviewWindow> review_;
    QMetaObject::Connection quitWaiting_;
    // Where the user left the window, so a reopened one comes back there.
    std::optional<QPoint> windowPosition_;
};

} // namespace backreel
