#include "export/DesktopSaveFlow.h"

#include "support/ChildProcess.h"
#include "support/Samples.h"
#include "support/synthetic/SyntheticMovieFile.h"
#include "support/SyntheticRecorder.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace backreel;

namespace {

class RecordingReveal final : public FileReveal {
public:
    void reveal(const QString& path) override { revealed.push_back(path); }
    std::vector<QString> revealed;
};

Clip clip() {
    Clip c{{test::keyFrame(0), test::videoPacket(1 / 30.0, false)}, {}, {}, {}};
    c.startPTS = c.video.front().presentationTime;
    c.endPTS = c.video.back().presentationTime;
    return c;
}

struct Saving {
    QTemporaryDir dir;
    QString location = dir.filePath(QStringLiteral("loopvane-2026-03-05-140709.mp4"));
    std::shared_ptr<SyntheticMovieFileService> files = std::make_shared<SyntheticMovieFileService>();
    std::shared_ptr<RecordingReveal> reveal = std::make_shared<RecordingReveal>();

    RecordingStatus save(std::optional<QString> answer, SaveRequest request = {}) {
        auto dialog = std::make_shared<test::AnswerList>();
        dialog->answers.push_back(std::move(answer));
        DesktopSaveFlow flow(dialog, MovieWriterServices{files, nullptr, nullptr}, reveal);
        return QCoro::waitFor(flow.save(clip(), std::move(request)));
    }
    bool writeEarlierFile() const {
        QFile old(location);
        return old.open(QIODevice::WriteOnly) && old.write("the user's earlier file") > 0;
    }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
};

} // namespace

// A cancel writes nothing; a failed save keeps the earlier file and leaves no partial one; a saved
// file replaces the old one, without a temporary left, and is revealed.
TEST(SaveFlow, ACancelWritesNothingAFailureKeepsTheOldFileASavedOneReplacesItAndClipsGetDatedNames) {
    Saving s;
    EXPECT_EQ(s.save(std::nullopt), RecordingStatus::idle());
    EXPECT_EQ(s.save(QString()), RecordingStatus::idle());
    EXPECT_TRUE(s.entries().isEmpty());
    ASSERT_TRUE(s.writeEarlierFile());
    s.files->options().failVideoAt = 0;
    s.files->options().writeError = Error(QStringLiteral("No space left on device"), ENOSPC);
    EXPECT_EQ(s.save(s.location),
              RecordingStatus::error(QStringLiteral("Save failed: there is no space left on the device.")));
    EXPECT_EQ(test::fileText(s.location.toStdString()), "the user's earlier file");
    EXPECT_EQ(s.entries(), QStringList{QStringLiteral("loopvane-2026-03-05-140709.mp4")});
    EXPECT_TRUE(s.reveal->revealed.empty());

    s.files->options().failVideoAt.reset();
    EXPECT_EQ(s.save(s.location), RecordingStatus::saved(QUrl::fromLocalFile(s.location)));
    EXPECT_EQ(test::fileText(s.location.toStdString()), "synthetic movie\n");
    EXPECT_EQ(s.entries(), QStringList{QStringLiteral("loopvane-2026-03-05-140709.mp4")});
    EXPECT_EQ(s.reveal->revealed, std::vector<QString>{s.location});

    // A failure with an errno behind it is named in plain words (ENOSPC: above); any other keeps its
    // own text.
    const std::pair<Error, const char*> rows[] = {
        {Error(QStringLiteral("Read-only file system"), EROFS), "the folder is read-only."},
        {Error(QStringLiteral("No such file or directory (/x/.a.mp4.1.part)"), ENOENT),
         "the folder no longer exists."},
        {Error(QStringLiteral("Permission denied"), EACCES), "you are not allowed to write in the folder."},
        {Error(QStringLiteral("Some muxer code")), "Some muxer code"},
    };
    for (const auto& [error, reason] : rows) {
        EXPECT_EQ(saveFailureReason(error), QString::fromUtf8(reason)) << error.description.toStdString();
    }

    // Save Clip's saves go into the clip folder, made when missing, under the dated name; a second save
    // in the same second gets a number instead of replacing the first, and nothing is revealed (the
    // file manager would take the focus from a full-screen game). A folder that cannot be made says why.
    const QString folder = s.dir.filePath(QStringLiteral("Videos/Backreel"));
    const SaveRequest request{folder, false};
    const RecordingStatus first = s.save(std::nullopt, request);
    const RecordingStatus second = s.save(std::nullopt, request);
    ASSERT_TRUE(first.is(RecordingStatus::Kind::saved) && second.is(RecordingStatus::Kind::saved));
    const QString firstName = first.location().fileName();
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^loopvane-\d{4}-\d\d-\d\d-\d{6}(-2)?\.mp4$)"))
                    .match(firstName)
                    .hasMatch())
        << firstName.toStdString();
    EXPECT_NE(first.location(), second.location());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_EQ(s.reveal->revealed.size(), 1u) << "nothing more revealed";

    const auto exists = [](const QString& path) {
        return path.endsWith(QStringLiteral("140709.mp4")) || path.endsWith(QStringLiteral("140709-2.mp4"));
    };
    EXPECT_EQ(clipPathIn(QStringLiteral("/v"), QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9)), exists),
              QStringLiteral("/v/loopvane-2026-03-05-140709-3.mp4"));
    EXPECT_EQ(defaultClipFolder(QStringLiteral("/home/ann/Vidéos"), QStringLiteral("/home/ann")),
              QStringLiteral("/home/ann/Vidéos/Backreel"));
    EXPECT_EQ(defaultClipFolder(QString(), QStringLiteral("/home/ann")),
              QStringLiteral("/home/ann/Videos/Backreel"));

    QFile blocker(s.dir.filePath(QStringLiteral("Blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const QString blocked = s.dir.filePath(QStringLiteral("Blocked/Backreel"));
    EXPECT_EQ(s.save(std::nullopt, SaveRequest{blocked, false}),
              RecordingStatus::error(
                  QStringLiteral("Save failed: the clip folder %1 cannot be made: a file is in the way.")
                      .arg(blocked)));
}
