#include "export/DesktopSaveFlow.h"
#include "support/synthetic/SyntheticAssetWriter.h"
#include "support/LogCapture.h"
#include "support/Samples.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace backreel;
using test::LogCapture;

namespace {

class AnsweringChooser final : public SaveLocationChooser {
public:
    explicit AnsweringChooser(std::optional<QString> answer) : answer_(std::move(answer)) {}
    QCoro::Task<std::optional<QString>> chooseLocation() override { co_return answer_; }

private:
    std::optional<QString> answer_;
};

class RecordingReveal final : public FileReveal {
public:
    void reveal(const QString& path) override { revealed.push_back(path); }
    std::vector<QString> revealed;
};

Clip clip() {
    Clip c;
    for (int i = 0; i < 30; ++i) {
        c.video.push_back(i % 15 == 0 ? test::keyFrame(i / 30.0) : test::deltaFrame(i / 30.0));
    }
    c.startPTS = c.video.front()->presentationTime();
    c.endPTS = c.video.back()->presentationTime();
    return c;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Saving {
    QTemporaryDir dir;
    QString location = dir.filePath(QStringLiteral("loopvane-2026-03-05-140709.mp4"));
    std::shared_ptr<SyntheticAssetWriterService> writer = std::make_shared<SyntheticAssetWriterService>();
    std::shared_ptr<RecordingReveal> reveal = std::make_shared<RecordingReveal>();

    RecordingStatus save(std::optional<QString> answer) {
        DesktopSaveFlow flow(std::make_shared<AnsweringChooser>(std::move(answer)), MovieWriterServices{writer, nullptr},
                             reveal);
        return QCoro::waitFor(flow.save(clip()));
    }
    // A file the user already had at the location.
    bool writeEarlierFile() const {
        QFile old(location);
        return old.open(QIODevice::WriteOnly) && old.write("the user's earlier file") > 0;
    }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
};

} // namespace

TEST(SaveFlow, ProposedNameForAFixedDate) {
    const QDateTime when(QDate(2026, 3, 5), QTime(14, 7, 9));
    EXPECT_EQ(proposedFileName(when), QStringLiteral("loopvane-2026-03-05-140709.mp4"));
    EXPECT_EQ(proposedFileName(when.addMSecs(900)), proposedFileName(when)) << "two saves in one second";
}

TEST(SaveFlow, SavedFileReplacesTheOldOneAndIsRevealed) {
    LogCapture log;
    Saving s;
    ASSERT_TRUE(s.writeEarlierFile());
    const RecordingStatus status = s.save(s.location);
    EXPECT_EQ(status, RecordingStatus::saved(QUrl::fromLocalFile(s.location)));
    EXPECT_EQ(contents(s.location), QByteArray("synthetic movie\n"));
    EXPECT_EQ(s.entries(), QStringList{QStringLiteral("loopvane-2026-03-05-140709.mp4")}) << "no temporary left";
    EXPECT_EQ(s.reveal->revealed, std::vector<QString>{s.location});
    EXPECT_EQ(log.count(QStringLiteral("[Write] Saving to loopvane-2026-03-05-140709.mp4")), 1);
    EXPECT_EQ(log.count(QStringLiteral("[Write] Save complete ✓")), 1);
}

TEST(SaveFlow, CancelIsIdleWithNothingWritten) {
    LogCapture log;
    Saving s;
    EXPECT_EQ(s.save(std::nullopt), RecordingStatus::idle());
    EXPECT_EQ(s.save(QString()), RecordingStatus::idle());
    EXPECT_TRUE(s.entries().isEmpty());
    EXPECT_EQ(log.countStartingWith(QStringLiteral("[Write]")), 0);
    EXPECT_TRUE(s.reveal->revealed.empty());
}

TEST(SaveFlow, AFailedSaveKeepsTheEarlierFileAndLeavesNoPartialOne) {
    LogCapture log;
    Saving s;
    ASSERT_TRUE(s.writeEarlierFile());
    s.writer->options().refuseVideoAt = 10;
    s.writer->options().refusalError = Error{QStringLiteral("FFmpeg"), -28, QStringLiteral("No space left on device")};
    const RecordingStatus status = s.save(s.location);
    EXPECT_EQ(status, RecordingStatus::error(QStringLiteral("Save failed: No space left on device")));
    EXPECT_EQ(contents(s.location), QByteArray("the user's earlier file"));
    EXPECT_EQ(s.entries(), QStringList{QStringLiteral("loopvane-2026-03-05-140709.mp4")});
    EXPECT_EQ(log.count(QStringLiteral("[Write] Save failed: No space left on device")), 1);
    EXPECT_TRUE(s.reveal->revealed.empty());
}

TEST(SaveFlow, AFolderThatCannotBeWrittenFailsWithThePlatformsWords) {
    Saving s;
    const QString location = QStringLiteral("/proc/loopvane-test.mp4");
    const RecordingStatus status = s.save(location);
    ASSERT_TRUE(status.is(RecordingStatus::Kind::error));
    EXPECT_TRUE(status.message().startsWith(QStringLiteral("Save failed: "))) << status.message().toStdString();
    EXPECT_FALSE(QFile::exists(location));
}

TEST(SaveFlow, TemporaryFileIsHiddenBesideTheLocation) {
    const QString temporary = temporaryPathBeside(QStringLiteral("/home/u/Videos/clip.mp4"));
    EXPECT_TRUE(temporary.startsWith(QStringLiteral("/home/u/Videos/.clip.mp4."))) << temporary.toStdString();
    EXPECT_TRUE(temporary.endsWith(QStringLiteral(".part")));
    EXPECT_NE(temporary, temporaryPathBeside(QStringLiteral("/home/u/Videos/clip.mp4")));
}
