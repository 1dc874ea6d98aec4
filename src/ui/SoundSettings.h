#pragma once

#include "platform/AudioSource.h"

#include <memory>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;

namespace backreel {

class RecorderSettings;

// The sound of the next recordings, in Settings…: "System sound" (Everything, or one of the
// applications playing now, listed by name and icon), "Record the microphone" with the device
// ("Default microphone" first) and its track ("Separate track" or "Mixed with the system sound").
// The lists are asked of the audio service off the main thread when the section is made; a choice
// not in them (an application that plays nothing now) stays listed by its name. Main thread.
class SoundSettings final : public QWidget {
    Q_OBJECT

public:
    SoundSettings(RecorderSettings& settings, std::shared_ptr<AudioService> audio, QWidget* parent = nullptr);

    QComboBox* systemSoundPicker() const { return application_; }
    QCheckBox* microphoneBox() const { return microphone_; }
    QComboBox* microphonePicker() const { return device_; }
    QComboBox* microphoneTrackPicker() const { return track_; }
    // Says why the lists are missing, when they are.
    QLabel* problemLabel() const { return problem_; }

    // Fills the lists (and is how the service's answer arrives).
    void showInventory(const Expected<AudioInventory>& inventory);

private:
    void update();

    RecorderSettings& settings_;
    QComboBox* application_ = nullptr;
    QCheckBox* microphone_ = nullptr;
    QComboBox* device_ = nullptr;
    QComboBox* track_ = nullptr;
    QLabel* problem_ = nullptr;
    AudioInventory inventory_;
};

} // namespace backreel
