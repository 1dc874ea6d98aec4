#pragma once

#include "platform/AudioSource.h"

#include <memory>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace backreel {

class RecorderSettings;
class SoundSettings;

// "Settings…": where Save Clip puts its clips and how. The clip folder (shown, with "Choose…" to
// pick another and "Use Default" to go back to Videos/Backreel), "Ask where to save" and "Start a
// fresh buffer after each save"; then how Backreel starts: "Start at login" (the autostart entry,
// which launches it into the tray, buffering) and "Start buffering when Backreel starts"; the codec
// of the next recordings ("Automatic" or "H.264: plays everywhere") and their frame rate (30 or 60
// frames a second); their sound (see SoundSettings). Each change goes
// straight to the recorder's settings, which keep it, and applies to the next save. Not modal. Main thread.
class SettingsDialog final : public QDialog {
    Q_OBJECT

public:
    SettingsDialog(RecorderSettings& settings, std::shared_ptr<AudioService> audio, QWidget* parent = nullptr);

    QLabel* clipFolderLabel() const { return folder_; }
    QPushButton* chooseFolderButton() const { return choose_; }
    QPushButton* defaultFolderButton() const { return useDefault_; }
    QCheckBox* askWhereToSaveBox() const { return askWhere_; }
    QCheckBox* freshBufferBox() const { return freshBuffer_; }
    QCheckBox* startAtLoginBox() const { return startAtLogin_; }
    QCheckBox* bufferAtLaunchBox() const { return bufferAtLaunch_; }
    QComboBox* codecPicker() const { return codec_; }
    QComboBox* frameRatePicker() const { return frameRate_; }
    SoundSettings* sound() const { return sound_; }

private:
    void chooseFolder();
    void update();

    RecorderSettings& settings_;
    QLabel* folder_ = nullptr;
    QPushButton* choose_ = nullptr;
    QPushButton* useDefault_ = nullptr;
    QCheckBox* askWhere_ = nullptr;
    QCheckBox* notifyMarkers_ = nullptr;
    QCheckBox* freshBuffer_ = nullptr;
    QCheckBox* startAtLogin_ = nullptr;
    QCheckBox* bufferAtLaunch_ = nullptr;
    QLabel* startProblem_ = nullptr;
    QComboBox* codec_ = nullptr;
    QComboBox* frameRate_ = nullptr;
    SoundSettings* sound_ = nullptr;
};

} // namespace backreel
