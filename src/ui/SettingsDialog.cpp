#include "ui/SettingsDialog.h"

#include "capture/RecorderSettings.h"
#include "core/Autostart.h"
#include "ui/SoundSettings.h"
#include "ui/StatusText.h"
#include "ui/TextStyle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace backreel {

namespace {
constexpr int kFolderWidth = 320;
} // namespace

SettingsDialog::SettingsDialog(RecorderSettings& settings, std::shared_ptr<AudioService> audio, QWidget* parent)
    : QDialog(parent)
    , settings_(settings) {
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Settings"));

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Clip folder"), this);
    heading->setFont(textStyleFont(TextStyle::headline));
    layout->addWidget(heading);
    folder_ = new QLabel(this);
    folder_->setObjectName(QStringLiteral("clipFolder"));
    folder_->setTextFormat(Qt::PlainText);
    folder_->setMinimumWidth(kFolderWidth);
    layout->addWidget(folder_);

    auto* buttons = new QHBoxLayout;
    choose_ = new QPushButton(QStringLiteral("Choose…"), this);
    useDefault_ = new QPushButton(QStringLiteral("Use Default"), this);
    buttons->addWidget(choose_);
    buttons->addWidget(useDefault_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(choose_, &QPushButton::clicked, this, &SettingsDialog::chooseFolder);
    connect(useDefault_, &QPushButton::clicked, this, [this] { settings_.setClipFolder(QString()); });

    askWhere_ = new QCheckBox(QStringLiteral("Ask where to save"), this);
    askWhere_->setObjectName(QStringLiteral("askWhereToSave"));
    freshBuffer_ = new QCheckBox(QStringLiteral("Start a fresh buffer after each save"), this);
    freshBuffer_->setObjectName(QStringLiteral("freshBufferAfterSave"));
    layout->addWidget(askWhere_);
    layout->addWidget(freshBuffer_);
    notifyMarkers_ = new QCheckBox(QStringLiteral("Notify when a marker is set"), this);
    notifyMarkers_->setObjectName(QStringLiteral("notifyMarkers"));
    layout->addWidget(notifyMarkers_);
    connect(notifyMarkers_, &QCheckBox::toggled, this, [this](bool notify) { settings_.setNotifyMarkers(notify); });
    connect(askWhere_, &QCheckBox::toggled, this, [this](bool ask) { settings_.setAskWhereToSave(ask); });
    connect(freshBuffer_, &QCheckBox::toggled, this,
            [this](bool fresh) { settings_.setFreshBufferAfterSave(fresh); });

    auto* starting = new QLabel(QStringLiteral("Starting"), this);
    starting->setFont(textStyleFont(TextStyle::headline));
    layout->addWidget(starting);
    startAtLogin_ = new QCheckBox(QStringLiteral("Start at login"), this);
    startAtLogin_->setObjectName(QStringLiteral("startAtLogin"));
    bufferAtLaunch_ = new QCheckBox(QStringLiteral("Start buffering when Backreel starts"), this);
    bufferAtLaunch_->setObjectName(QStringLiteral("bufferAtLaunch"));
    startProblem_ = new QLabel(this);
    startProblem_->setTextFormat(Qt::PlainText);
    startProblem_->setWordWrap(true);
    startProblem_->hide();
    layout->addWidget(startAtLogin_);
    layout->addWidget(bufferAtLaunch_);
    layout->addWidget(startProblem_);
    connect(startAtLogin_, &QCheckBox::toggled, this, [this](bool start) {
        const std::optional<Error> failed = setStartAtLogin(start);
        startProblem_->setText(failed ? failed->description : QString());
        startProblem_->setVisible(failed.has_value());
        update();
    });
    connect(bufferAtLaunch_, &QCheckBox::toggled, this,
            [this](bool buffer) { settings_.setBufferAtLaunch(buffer); });

    auto* video = new QLabel(QStringLiteral("Video"), this);
    video->setFont(textStyleFont(TextStyle::headline));
    layout->addWidget(video);
    auto* codecRow = new QHBoxLayout;
    codecRow->addWidget(new QLabel(QStringLiteral("Codec"), this));
    codec_ = new QComboBox(this);
    codec_->setObjectName(QStringLiteral("codec"));
    codec_->addItem(QStringLiteral("Automatic"), static_cast<int>(CodecChoice::automatic));
    codec_->addItem(QStringLiteral("H.264: plays everywhere"), static_cast<int>(CodecChoice::h264));
    codecRow->addWidget(codec_, 1);
    layout->addLayout(codecRow);
    auto* codecNote =
        new QLabel(QStringLiteral("Automatic records HEVC where a hardware encoder opens; most browsers "
                                  "and chat applications do not play HEVC clips."),
                   this);
    codecNote->setWordWrap(true);
    codecNote->setFont(textStyleFont(TextStyle::caption));
    layout->addWidget(codecNote);
    connect(codec_, &QComboBox::currentIndexChanged, this, [this](int index) {
        settings_.setCodec(static_cast<CodecChoice>(codec_->itemData(index).toInt()));
    });
    auto* rateRow = new QHBoxLayout;
    rateRow->addWidget(new QLabel(QStringLiteral("Frame rate"), this));
    frameRate_ = new QComboBox(this);
    frameRate_->setObjectName(QStringLiteral("frameRate"));
    frameRate_->addItem(QStringLiteral("30 fps"), 30);
    frameRate_->addItem(QStringLiteral("60 fps"), 60);
    rateRow->addWidget(frameRate_, 1);
    layout->addLayout(rateRow);
    connect(frameRate_, &QComboBox::currentIndexChanged, this,
            [this](int index) { settings_.setFrameRate(frameRate_->itemData(index).toInt()); });

    sound_ = new SoundSettings(settings_, std::move(audio), this);
    layout->addWidget(sound_);

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(close);

    connect(&settings_, &RecorderSettings::clipFolderChanged, this, &SettingsDialog::update);
    connect(&settings_, &RecorderSettings::askWhereToSaveChanged, this, &SettingsDialog::update);
    connect(&settings_, &RecorderSettings::freshBufferAfterSaveChanged, this, &SettingsDialog::update);
    connect(&settings_, &RecorderSettings::notifyMarkersChanged, this, &SettingsDialog::update);
    connect(&settings_, &RecorderSettings::bufferAtLaunchChanged, this, &SettingsDialog::update);
    connect(&settings_, &RecorderSettings::codecChanged, this, &SettingsDialog::update);
    connect(&settings_, &RecorderSettings::frameRateChanged, this, &SettingsDialog::update);
    update();
}

void SettingsDialog::chooseFolder() {
    // Not modal either: buffering and the tray go on while the folder is chosen.
    QPointer<QFileDialog> dialog = new QFileDialog(this, QStringLiteral("Clip Folder"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setDirectory(settings_.effectiveClipFolder());
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        if (!folder.isEmpty()) {
            settings_.setClipFolder(folder);
        }
    });
    dialog->open();
}

void SettingsDialog::update() {
    const QString folder = settings_.effectiveClipFolder();
    folder_->setText(middleElidedText(folder, folder_->font(), kFolderWidth));
    folder_->setToolTip(folder);
    useDefault_->setEnabled(!settings_.clipFolder().isEmpty());
    const QSignalBlocker askBlocker(askWhere_);
    const QSignalBlocker freshBlocker(freshBuffer_);
    askWhere_->setChecked(settings_.askWhereToSave());
    freshBuffer_->setChecked(settings_.freshBufferAfterSave());
    notifyMarkers_->setChecked(settings_.notifyMarkers());
    const QSignalBlocker loginBlocker(startAtLogin_);
    const QSignalBlocker launchBlocker(bufferAtLaunch_);
    startAtLogin_->setChecked(startsAtLogin());
    bufferAtLaunch_->setChecked(settings_.bufferAtLaunch());
    const QSignalBlocker codecBlocker(codec_);
    codec_->setCurrentIndex(codec_->findData(static_cast<int>(settings_.codec())));
    const QSignalBlocker rateBlocker(frameRate_);
    frameRate_->setCurrentIndex(frameRate_->findData(settings_.frameRate()));
}

} // namespace backreel
