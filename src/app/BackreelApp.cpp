#include "app/BackreelApp.h"

#include "app/GlobalHotkeys.h"
#include "app/KeyboardShortcutsDialog.h"
#include "app/MenuBarContent.h"
#include "app/RecordIconEngine.h"
#include "app/RemoteControl.h"
#include "app/TrayIcon.h"
#include "app/UnsavedClipsQuestion.h"
#include "app/UpdateController.h"
#include "capture/LastTarget.h"
#include "capture/RecorderSettings.h"
#include "capture/RecordingManager.h"
#include "core/log/Log.h"
#include "export/SaveFlow.h"
#include "overlay/OverlayTargetPicker.h"
#include "platform/GlobalShortcuts.h"
#include "platform/SaveNotifier.h"
#include "platform/ShareableContent.h"
#include "platform/WindowServer.h"
#include "ui/ContentView.h"
#include "ui/MainWindowRules.h"
#include "ui/ReviewWindow.h"
#include "ui/SettingsDialog.h"

#include <algorithm>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <utility>

namespace backreel {

BackreelApp::BackreelApp(Platform platform, std::shared_ptr<SaveFlow> saveFlow, BackreelAppOptions options,
                         QObject* parent)
    : QObject(parent)
    , options_(std::move(options))
    , platform_(std::move(platform))
    , recorderSettings_(std::make_shared<RecorderSettings>()) {
    // The one manager comes first; everything after it, the update controller included, may use it.
    recordingManager_ = std::make_unique<RecordingManager>(platform_, std::move(saveFlow), recorderSettings_);
    updaterController_ = std::make_unique<UpdateController>(
        options_.version, options_.feedUrl.isEmpty() ? UpdateController::defaultFeedUrl() : options_.feedUrl);
    targetPicker_ =
        std::make_unique<OverlayTargetPicker>(*recordingManager_, platform_, Logger::windowPicker());
    menuBarContent_ = std::make_unique<MenuBarContent>(
        *recordingManager_, *updaterController_, [this] { showWindow(); }, [this] { requestQuit(); },
        [this] { showSettings(); });
    connect(menuBarContent_.get(), &MenuBarContent::keyboardShortcutsRequested, this,
            &BackreelApp::showKeyboardShortcuts);
    connect(menuBarContent_.get(), &MenuBarContent::reviewRequested, this, &BackreelApp::showReview);
    unsavedQuestion_ = std::make_unique<UnsavedClipsQuestion>(*recordingManager_);
    connect(recordingManager_.get(), &RecordingManager::unsavedClipChanged, this,
            &BackreelApp::showWhileClipsAreKept);
    remoteControl_ = std::make_unique<RemoteControl>(
        *recordingManager_, [this] { showWindow(); }, [this] { requestQuit(); });
    connect(remoteControl_.get(), &RemoteControl::reviewRequested, this, &BackreelApp::showReview);
    if (const std::shared_ptr<GlobalShortcuts>& shortcuts = platform_.shortcuts) {
        hotkeys_ = std::make_unique<GlobalHotkeys>(*shortcuts, *remoteControl_);
    }
    if (const std::shared_ptr<SaveNotifier> notifier = options_.saveNotifier) {
        connect(recordingManager_.get(), &RecordingManager::clipSaved, this,
                [notifier](const QString& path, double seconds) { notifier->notifySaved(path, seconds); });
        connect(recordingManager_.get(), &RecordingManager::markerSet, this, [this, notifier](const QString& label) {
            if (recorderSettings_->notifyMarkers()) {
                notifier->notifyMarked(label);
            }
        });
        connect(recordingManager_.get(), &RecordingManager::saveFailed, this,
                [notifier](const QString& message) { notifier->notifyFailed(message); });
    }
}

BackreelApp::~BackreelApp() {
    // The window observes the manager (and may hand it a last status), so it goes first.
    if (window_) {
        window_->disconnect(this);
        delete window_.data();
    }
    delete shortcutsDialog_.data();
    delete settings_.data();
    // It holds a snapshot counted against the manager's recording.
    delete review_.data();
    trayIcon_.reset();
    menuBarContent_.reset();
}

ContentView* BackreelApp::mainWindow() const {
    return window_.data();
}

KeyboardShortcutsDialog* BackreelApp::keyboardShortcutsDialog() const {
    return shortcutsDialog_.data();
}

void BackreelApp::start() {
    const bool buffer = options_.bufferAtLaunch || recorderSettings_->bufferAtLaunch();
    // Straight into the tray when buffering at launch; without a tray the panel is the application.
    if (!buffer || options_.tray == TrayPresence::unavailable) {
        showWindow();
    }
    // The target of every recording that starts is what the next launch buffers.
    connect(
        recordingManager_.get(), &RecordingManager::statusChanged, this, [this, buffering = false]() mutable {
            // Once as buffering begins: a note that changes later is no new start.
            const bool wasBuffering =
                std::exchange(buffering, recordingManager_->status().is(RecordingStatus::Kind::buffering));
            if (buffering && !wasBuffering) {
                storeLastTarget(
                    lastTargetOf(recordingManager_->captureTarget(), recordingManager_->availableDisplays()));
            }
        });
    if (buffer) {
        bufferLastTarget();
    }
    if (options_.tray == TrayPresence::available && !trayIcon_) {
        trayIcon_ = std::make_unique<TrayIcon>(*recordingManager_, menuBarContent_->menu());
        trayIcon_->show();
    }
    if (hotkeys_) {
        connect(hotkeys_.get(), &GlobalHotkeys::bindingsChanged, this, &BackreelApp::tellUnboundShortcuts,
                Qt::SingleShotConnection);
        hotkeys_->bind();
    }
}

void BackreelApp::tellUnboundShortcuts() {
    if (!trayIcon_) {
        return;
    }
    const bool anyFailed = std::ranges::any_of(
        kHotkeyActions, [this](HotkeyAction action) { return hotkeys_->failure(action).has_value(); });
    const std::optional<QString> unavailable = hotkeys_->unavailableReason();
    // A message in the tray takes no focus from a game.
    if (anyFailed && unavailable) {
        // Learnt when binding (the desktop portal): one message, as other keys would not help.
        trayIcon_->systemTrayIcon().showMessage(
            QStringLiteral("No global shortcuts"),
            *unavailable + QStringLiteral(" Bind backreel --save-clip in the desktop's keyboard settings."),
            QSystemTrayIcon::Warning);
        return;
    }
    for (HotkeyAction action : kHotkeyActions) {
        if (const std::optional<QString> failure = hotkeys_->failure(action)) {
            trayIcon_->systemTrayIcon().showMessage(
                QStringLiteral("%1 has no shortcut").arg(hotkeyTitle(action)),
                *failure + QStringLiteral(" Choose other keys under Keyboard Shortcuts…"),
                QSystemTrayIcon::Warning);
        }
    }
}

void BackreelApp::showKeyboardShortcuts() {
    if (!hotkeys_) {
        return;
    }
    if (!shortcutsDialog_) {
        shortcutsDialog_ = new KeyboardShortcutsDialog(*hotkeys_);
        shortcutsDialog_->setAttribute(Qt::WA_DeleteOnClose);
    }
    shortcutsDialog_->show();
    shortcutsDialog_->raise();
    shortcutsDialog_->activateWindow();
}

ContentView* BackreelApp::createWindow() {
    auto* window = new ContentView(*recordingManager_, *recorderSettings_, platform_, *targetPicker_);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(
        QIcon::fromTheme(kApplicationID, QIcon(new RecordIconEngine(RecordIconEngine::Style::filled))));
    connect(window, &ContentView::closed, this, [this, window] { windowClosed(window->pos()); });
    connect(window, &ContentView::settingsRequested, this, &BackreelApp::showSettings);
    connect(window, &ContentView::menuRequested, this,
            [this](const QPoint& position) { menuBarContent_->menu()->popup(position); });
    connect(window, &ContentView::keyboardShortcutsRequested, this, &BackreelApp::showKeyboardShortcuts);
    connect(window, &ContentView::reviewRequested, this, &BackreelApp::showReview);
    window->adjustSize();
    if (windowPosition_) {
        window->move(*windowPosition_);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // The first window opens in the top-trailing corner of the screen.
        window->move(
            topTrailingPosition(screen->availableGeometry(), window->size(), window->layoutDirection()));
    }
    return window;
}

void BackreelApp::showWindow() {
    if (!window_) {
        window_ = createWindow();
    }
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void BackreelApp::requestQuit() {
    RecordingManager& manager = *recordingManager_;
    if (manager.unsavedClipsToAskAbout() > 0) {
        unsavedQuestion_->ask([alive = QPointer<BackreelApp>(this)](bool mayQuit) {
            if (alive && mayQuit) {
                alive->requestQuit();
            }
        });
        return;
    }
    if (manager.clipSavesPending() == 0) {
        emit quitRequested();
        return;
    }
    // Clips already cut are on their way to disk: the quit waits for the last one.
    Logger::recording().info(
        QStringLiteral("[Quit] Waiting for %1 clip(s) to be saved").arg(manager.clipSavesPending()));
    if (!quitWaiting_) {
        quitWaiting_ = connect(&manager, &RecordingManager::clipSavesChanged, this, [this] {
            if (recordingManager_->clipSavesPending() == 0) {
                disconnect(quitWaiting_);
                emit quitRequested();
            }
        });
    }
}

QCoro::Task<> BackreelApp::bufferLastTarget() {
    const QPointer<BackreelApp> alive(this);
    RecordingManager& manager = *recordingManager_;
    co_await manager.refreshDisplays();
    if (!alive) {
        co_return;
    }
    const RestoredTarget restored =
        restoreTarget(loadLastTarget(), manager.availableDisplays(), platform_.windowServer->mainDisplayID());
    manager.setCaptureTarget(restored.target);
    co_await manager.startRecording();
    if (alive && manager.status().is(RecordingStatus::Kind::buffering) && !restored.note.isEmpty()) {
        manager.setTargetNote(restored.note);
    }
}

void BackreelApp::showWhileClipsAreKept() {
    if (!recordingManager_->hasUnsavedClip() || (window_ && window_->isVisible())) {
        return;
    }
    if (!window_) {
        window_ = createWindow();
    }
    // Beside whatever has the focus (a game, say): the line with Save Again… is there to find.
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->show();
    window_->setAttribute(Qt::WA_ShowWithoutActivating, false);
}

SettingsDialog* BackreelApp::settingsDialog() const {
    return settings_.data();
}

void BackreelApp::showSettings() {
    if (!settings_) {
        settings_ = new SettingsDialog(*recorderSettings_, platform_.audio);
        settings_->setAttribute(Qt::WA_DeleteOnClose);
    }
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

ReviewWindow* BackreelApp::reviewWindow() const {
    return review_.data();
}

void BackreelApp::showReview() {
    if (!review_) {
        std::optional<ReviewSnapshot> snapshot = recordingManager_->reviewSnapshot();
        if (!snapshot) {
            return;
        }
        // A recording of everything the output plays would record the review's sound into the
        // buffer again: the review plays it only while one application's sound is recorded.
        const bool recordsOutput = recorderSettings_->soundApplication().isEmpty();
        review_ = new ReviewWindow(std::move(*snapshot), *recordingManager_, platform_.pictureDecoders,
                                   recordsOutput ? nullptr : platform_.soundPlayers);
    }
    review_->show();
    review_->raise();
    review_->activateWindow();
}

void BackreelApp::windowClosed(const QPoint& position) {
    windowPosition_ = position;
    if (options_.tray == TrayPresence::unavailable) {
        requestQuit();
    }
}

} // namespace backreel
