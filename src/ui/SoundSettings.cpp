#include "ui/SoundSettings.h"

#include "capture/RecorderSettings.h"
#include "ui/TextStyle.h"

#include <pthread.h>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QThreadPool>

namespace backreel {

SoundSettings::SoundSettings(RecorderSettings& settings, std::shared_ptr<AudioService> audio, QWidget* parent)
    : QWidget(parent)
    , settings_(settings) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* heading = new QLabel(QStringLiteral("Sound"), this);
    heading->setFont(textStyleFont(TextStyle::headline));
    layout->addWidget(heading);

    auto* form = new QFormLayout;
    application_ = new QComboBox(this);
    application_->setObjectName(QStringLiteral("systemSound"));
    form->addRow(QStringLiteral("System sound"), application_);
    layout->addLayout(form);
    microphone_ = new QCheckBox(QStringLiteral("Record the microphone"), this);
    microphone_->setObjectName(QStringLiteral("microphone"));
    layout->addWidget(microphone_);
    auto* microphoneForm = new QFormLayout;
    device_ = new QComboBox(this);
    device_->setObjectName(QStringLiteral("microphoneDevice"));
    track_ = new QComboBox(this);
    track_->setObjectName(QStringLiteral("microphoneTrack"));
    track_->addItem(QStringLiteral("Separate track"), static_cast<int>(MicrophoneTrack::separate));
    track_->addItem(QStringLiteral("Mixed with the system sound"), static_cast<int>(MicrophoneTrack::mixed));
    microphoneForm->addRow(QStringLiteral("Microphone"), device_);
    microphoneForm->addRow(QStringLiteral("Track"), track_);
    layout->addLayout(microphoneForm);
    problem_ = new QLabel(this);
    problem_->setTextFormat(Qt::PlainText);
    problem_->setWordWrap(true);
    problem_->setFont(textStyleFont(TextStyle::caption));
    problem_->hide();
    layout->addWidget(problem_);

    connect(application_, &QComboBox::activated, this, [this](int index) {
        settings_.setSoundApplication(application_->itemData(index).toString(),
                                      index == 0 ? QString() : application_->itemText(index));
    });
    connect(microphone_, &QCheckBox::toggled, this, [this](bool record) { settings_.setMicrophone(record); });
    connect(device_, &QComboBox::activated, this,
            [this](int index) { settings_.setMicrophoneDevice(device_->itemData(index).toString()); });
    connect(track_, &QComboBox::activated, this, [this](int index) {
        settings_.setMicrophoneTrack(static_cast<MicrophoneTrack>(track_->itemData(index).toInt()));
    });
    connect(&settings_, &RecorderSettings::soundChanged, this, &SoundSettings::update);
    update();

    if (!audio) {
        showInventory(Error(QStringLiteral("This desktop has no sound to record.")));
        return;
    }
    // The server answers in milliseconds, or within a second when it is stuck: not on the main
    // thread. The application waits for the global pool's jobs before it goes.
    QPointer<SoundSettings> self(this);
    QCoreApplication* const application = QCoreApplication::instance();
    QThreadPool::globalInstance()->start([audio, self, application] {
        pthread_setname_np(pthread_self(), "Audio list");
        Expected<AudioInventory> inventory = audio->inventory();
        QMetaObject::invokeMethod(application, [self, inventory = std::move(inventory)] {
            if (self) {
                self->showInventory(inventory);
            }
        });
    });
}

void SoundSettings::showInventory(const Expected<AudioInventory>& inventory) {
    inventory_ = inventory ? inventory.value() : AudioInventory{};
    problem_->setText(inventory ? QString()
                                : QStringLiteral("The sound server's lists are missing: %1")
                                      .arg(inventory.error().description));
    problem_->setVisible(!inventory);
    update();
}

void SoundSettings::update() {
    const QSignalBlocker applicationBlocker(application_);
    application_->clear();
    application_->addItem(QStringLiteral("Everything"), QString());
    for (const AudioApplication& playing : inventory_.applications) {
        application_->addItem(QIcon::fromTheme(playing.iconName), playing.name,
                              QString::fromStdString(playing.binary));
    }
    const QString chosen = settings_.soundApplication();
    if (!chosen.isEmpty() && application_->findData(chosen) < 0) {
        application_->addItem(settings_.soundApplicationName().isEmpty() ? chosen : settings_.soundApplicationName(),
                              chosen);
    }
    application_->setCurrentIndex(std::max(application_->findData(chosen), 0));

    const QSignalBlocker deviceBlocker(device_);
    device_->clear();
    device_->addItem(QStringLiteral("Default microphone"), QString());
    for (const AudioDevice& device : inventory_.microphones) {
        device_->addItem(device.description, QString::fromStdString(device.name));
    }
    const QString microphone = settings_.microphoneDevice();
    if (!microphone.isEmpty() && device_->findData(microphone) < 0) {
        device_->addItem(microphone, microphone);
    }
    device_->setCurrentIndex(std::max(device_->findData(microphone), 0));

    const QSignalBlocker microphoneBlocker(microphone_);
    const QSignalBlocker trackBlocker(track_);
    microphone_->setChecked(settings_.microphone());
    track_->setCurrentIndex(track_->findData(static_cast<int>(settings_.microphoneTrack())));
    device_->setEnabled(settings_.microphone());
    track_->setEnabled(settings_.microphone());
}

} // namespace backreel
