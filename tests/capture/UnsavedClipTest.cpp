// A clip that could not be saved is kept, on the real desktop: saves that fail on a full disk, a
// read-only folder and a folder that went away, and a recorded window that closes while buffering.

#include "capture/RecordingManager.h"
#include "export/DesktopSaveFlow.h"
#include "platform/Platform.h"
#include "platform/x11/XcbTestWindow.h"
#include "support/FfmpegTestMedia.h"
#include "support/SaveFlowStandIn.h"

#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mount.h>
#include <unistd.h>

using namespace backreel;
using test::KeepingSaveFlow;

namespace {

// A tmpfs of the test's own in a temporary folder, unmounted at the end. Only root may mount one.
class SmallTmpfs {
public:
    explicit SmallTmpfs(unsigned long flags = 0) {
        mounted_ =
            ::geteuid() == 0 && folder_.isValid() &&
            ::mount("tmpfs", QFile::encodeName(folder_.path()).constData(), "tmpfs", flags, "size=64k") == 0;
    }
    ~SmallTmpfs() {
        if (mounted_) {
            ::umount2(QFile::encodeName(folder_.path()).constData(), MNT_DETACH);
        }
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return folder_.path(); }
    QString filePath(const QString& name) const { return folder_.filePath(name); }
    QStringList entries() const { return QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden); }

private:
    QTemporaryDir folder_;
    bool mounted_ = false;
};

// The save dialog's answers, one a save; each may do something at the moment it is given.
class AnswerList final : public SaveLocationChooser {
public:
    QCoro::Task<std::optional<QString>> chooseLocation() override {
        if (answers.empty()) {
            co_return std::nullopt;
        }
        std::function<std::optional<QString>()> answer = std::move(answers.front());
        answers.pop_front();
        co_return answer();
    }
    std::deque<std::function<std::optional<QString>()>> answers;
};

// The recorder with the desktop's own services and the real save, its dialog answered by the test.
struct Recorder {
    // Records about a second of the target, then stops and saves.
    void recordASecond() {
        QCoro::waitFor(manager.refreshDisplays());
        QCoro::waitFor(manager.startRecording());
        ASSERT_EQ(manager.status(), RecordingStatus::buffering()) << manager.status().message().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return bufferedSeconds() >= 1.0; }, 10000));
        QCoro::waitFor(manager.stopAndSave());
    }
    double bufferedSeconds() const {
        const std::vector<VideoPacket> video = manager.session()->videoStore().snapshot();
        return video.size() < 2 ? 0.0
                                : (video.back().presentationTime - video.front().presentationTime).seconds();
    }
    void answer(const QString& location) {
        chooser->answers.push_back([location] { return location; });
    }

    Platform platform = loadPlatform();
    std::shared_ptr<AnswerList> chooser = std::make_shared<AnswerList>();
    std::shared_ptr<KeepingSaveFlow> saveFlow =
        std::make_shared<KeepingSaveFlow>(std::make_shared<DesktopSaveFlow>(
            chooser, MovieWriterServices{platform.movieFiles, platform.movieProbe}, nullptr));
    RecordingManager manager{platform, saveFlow, std::make_shared<RecorderSettings>()};
    QTemporaryDir good;
};

bool onVirtualDesktop() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("PULSE_SERVER");
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The presentation times of the movie's video packets, in seconds from its start.
std::vector<double> videoTimes(const QString& path) {
    std::vector<double> times;
    const QJsonObject movie = test::probeMovie(path);
    for (const QJsonValue packet : movie[u"packets"].toArray()) {
        if (test::number(packet[u"stream_index"]) == 0) {
            times.push_back(test::number(packet[u"pts_time"]));
        }
    }
    return times;
}

// The movie at path holds exactly the clip's pictures: as many, at the same times.
void expectMovieHolds(const QString& path, const Clip& clip) {
    const std::vector<double> times = videoTimes(path);
    ASSERT_EQ(times.size(), clip.video.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        ASSERT_NEAR(times[i], (clip.video[i].presentationTime - clip.startPTS).seconds(), 1e-3)
            << "frame " << i;
    }
}

} // namespace

// The disk is full: the save fails with that reason, the file already at the place is left as it
// was, and Save Again into a good folder writes the very clip that failed.
TEST(SaveFailure, AFullDiskKeepsTheClipAndTheEarlierFileAndSaveAgainWritesThatClip) {
    if (!onVirtualDesktop()) {
        GTEST_SKIP() << "needs the virtual desktop (scripts/virtual-desktop)";
    }
    SmallTmpfs full;
    if (!full.mounted()) {
        GTEST_SKIP() << "a full disk is made as a small tmpfs, which only root may mount";
    }
    // The earlier file fills the disk to the last byte.
    const QString earlier = full.filePath(QStringLiteral("clip.mp4"));
    {
        QFile file(earlier);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'e');
        while (file.write(block) == block.size() && file.flush()) {
        }
    }
    const QByteArray before = contents(earlier);
    ASSERT_FALSE(before.isEmpty());

    Recorder recorder;
    recorder.answer(earlier);
    const QString location = recorder.good.filePath(QStringLiteral("again.mp4"));
    recorder.answer(location);
    ASSERT_NO_FATAL_FAILURE(recorder.recordASecond());
    EXPECT_EQ(recorder.manager.status(),
              RecordingStatus::error(QStringLiteral("Save failed: there is no space left on the device.")));
    EXPECT_EQ(recorder.manager.unsavedClipOffer(), UnsavedClipOffer::saveAgain);
    EXPECT_EQ(contents(earlier), before);
    EXPECT_EQ(full.entries(), QStringList{QStringLiteral("clip.mp4")}) << "no temporary file left";

    QCoro::waitFor(recorder.manager.saveAgain());
    ASSERT_EQ(recorder.manager.status(), RecordingStatus::saved(QUrl::fromLocalFile(location)))
        << recorder.manager.status().message().toStdString();
    EXPECT_FALSE(recorder.manager.hasUnsavedClip());
    ASSERT_EQ(recorder.saveFlow->clips.size(), 2u);
    const Clip& first = recorder.saveFlow->clips.front();
    ASSERT_GE(first.video.size(), 2u);
    expectMovieHolds(location, first);
}

// A read-only folder and a folder removed after it was chosen fail with their cause by name; the
// clip stays through every failure and through a cancelled retry, until a retry writes it.
TEST(SaveFailure, ReadOnlyAndVanishedFoldersNameTheirCauseAndEachRetryKeepsTheClip) {
    if (!onVirtualDesktop()) {
        GTEST_SKIP() << "needs the virtual desktop (scripts/virtual-desktop)";
    }
    // Root writes into any folder whatever its mode, but not into a read-only file system.
    SmallTmpfs readOnlyMount(MS_RDONLY);
    QTemporaryDir plain;
    QString readOnly = plain.filePath(QStringLiteral("locked"));
    QString readOnlyReason = QStringLiteral("Save failed: you are not allowed to write in the folder.");
    if (readOnlyMount.mounted()) {
        readOnly = readOnlyMount.path();
        readOnlyReason = QStringLiteral("Save failed: the folder is read-only.");
    } else if (::geteuid() == 0) {
        GTEST_SKIP() << "root ignores a folder's mode, and no read-only tmpfs could be mounted";
    } else {
        ASSERT_TRUE(QDir().mkpath(readOnly));
        ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QString vanishing = plain.filePath(QStringLiteral("vanishing"));
    ASSERT_TRUE(QDir().mkpath(vanishing));

    Recorder recorder;
    recorder.answer(QDir(readOnly).filePath(QStringLiteral("clip.mp4")));
    recorder.chooser->answers.push_back([vanishing]() -> std::optional<QString> {
        QDir(vanishing).removeRecursively(); // gone after it was chosen
        return QDir(vanishing).filePath(QStringLiteral("clip.mp4"));
    });
    recorder.chooser->answers.push_back([] { return std::nullopt; });
    const QString location = recorder.good.filePath(QStringLiteral("clip.mp4"));
    recorder.answer(location);

    ASSERT_NO_FATAL_FAILURE(recorder.recordASecond());
    EXPECT_EQ(recorder.manager.status(), RecordingStatus::error(readOnlyReason));
    EXPECT_EQ(recorder.manager.unsavedClipOffer(), UnsavedClipOffer::saveAgain);

    const RecordingStatus vanished =
        RecordingStatus::error(QStringLiteral("Save failed: the folder no longer exists."));
    QCoro::waitFor(recorder.manager.saveAgain());
    EXPECT_EQ(recorder.manager.status(), vanished);
    EXPECT_TRUE(recorder.manager.hasUnsavedClip());

    QCoro::waitFor(recorder.manager.saveAgain()); // cancelled
    EXPECT_EQ(recorder.manager.status(), vanished);
    EXPECT_EQ(recorder.manager.unsavedClipOffer(), UnsavedClipOffer::saveAgain);

    QCoro::waitFor(recorder.manager.saveAgain());
    ASSERT_EQ(recorder.manager.status(), RecordingStatus::saved(QUrl::fromLocalFile(location)));
    EXPECT_FALSE(recorder.manager.hasUnsavedClip());
    ASSERT_EQ(recorder.saveFlow->clips.size(), 4u);
    expectMovieHolds(location, recorder.saveFlow->clips.front());
    if (!readOnlyMount.mounted()) {
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

// The recorded window closes while buffering: its error is shown, and Save What Was Buffered
// writes the seconds before it closed.
TEST(StreamFault, AClosedWindowShowsItsErrorAndWhatWasBufferedCanBeSaved) {
    if (!onVirtualDesktop()) {
        GTEST_SKIP() << "needs the virtual desktop (scripts/virtual-desktop)";
    }
    const x11::XcbConnectionPtr connection(xcb_connect(nullptr, nullptr));
    ASSERT_TRUE(connection && xcb_connection_has_error(connection.get()) == 0);
    auto window = std::make_unique<test::TestWindow>(
        connection.get(), test::TestWindowOptions{.x = 100, .y = 100, .width = 320, .height = 240});
    Window recorded;
    recorded.windowID = window->id();
    recorded.frame = QRectF(100, 100, 320, 240);

    Recorder recorder;
    const QString location = recorder.good.filePath(QStringLiteral("buffered.mp4"));
    recorder.answer(location);
    recorder.manager.setCaptureTarget(
        CaptureTarget::window(ContentFilter::window(recorded)));
    QCoro::waitFor(recorder.manager.startRecording());
    ASSERT_EQ(recorder.manager.status(), RecordingStatus::buffering())
        << recorder.manager.status().message().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.bufferedSeconds() >= 1.0; }, 10000));
    const std::size_t bufferedFrames = recorder.manager.session()->videoStore().count();

    window.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.manager.hasUnsavedClip(); }, 5000));
    EXPECT_EQ(recorder.manager.status(),
              RecordingStatus::error(QStringLiteral("The captured window was closed.")));
    EXPECT_EQ(recorder.manager.unsavedClipOffer(), UnsavedClipOffer::saveWhatWasBuffered);
    EXPECT_EQ(recorder.manager.session(), nullptr);

    QCoro::waitFor(recorder.manager.saveAgain());
    ASSERT_EQ(recorder.manager.status(), RecordingStatus::saved(QUrl::fromLocalFile(location)))
        << recorder.manager.status().message().toStdString();
    ASSERT_EQ(recorder.saveFlow->clips.size(), 1u);
    const Clip& clip = recorder.saveFlow->clips.front();
    EXPECT_GE(clip.video.size(), bufferedFrames) << "every frame before the close";
    EXPECT_GE((clip.endPTS - clip.startPTS).seconds(), 0.95);
    expectMovieHolds(location, clip);
}
