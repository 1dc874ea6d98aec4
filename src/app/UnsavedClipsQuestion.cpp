#include "app/UnsavedClipsQuestion.h"

#include "capture/RecordingManager.h"

#include <algorithm>
#include <QPushButton>

namespace backreel {

UnsavedClipsQuestion::UnsavedClipsQuestion(RecordingManager& manager, QObject* parent)
    : QObject(parent)
    , manager_(manager) {}

UnsavedClipsQuestion::~UnsavedClipsQuestion() {
    delete box_.data();
}

void UnsavedClipsQuestion::ask(std::function<void(bool mayQuit)> answered) {
    if (box_) {
        box_->raise();
        box_->activateWindow();
        answered(false);
        return;
    }
    const int count = manager_.unsavedClipsToAskAbout();
    auto* box = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("Backreel"),
        count == 1 ? QStringLiteral("Backreel keeps 1 clip that is not saved.")
                   : QStringLiteral("Backreel keeps %1 clips that are not saved.").arg(count));
    box->setInformativeText(QStringLiteral("Quitting lets them go. Save them first?"));
    box->setObjectName(QStringLiteral("unsavedClipsQuestion"));
    QPushButton* save = box->addButton(QStringLiteral("Save…"), QMessageBox::AcceptRole);
    QPushButton* discard = box->addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(save);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box_ = box;
    connect(box, &QMessageBox::finished, this, [this, box, save, discard, answered = std::move(answered)] {
        const QAbstractButton* answer = box->clickedButton();
        box_.clear();
        if (answer == discard) {
            manager_.discardUnsavedClips();
            answered(true);
        } else if (answer == save) {
            saveEach(answered);
        } else {
            answered(false);
        }
    });
    box->open();
}

QCoro::Task<> UnsavedClipsQuestion::saveEach(std::function<void(bool mayQuit)> answered) {
    const QPointer<UnsavedClipsQuestion> alive(this);
    for (const UnsavedClipInfo& clip : manager_.unsavedClips()) {
        co_await manager_.saveAgain(clip.id);
        if (!alive) {
            co_return;
        }
        const std::vector<UnsavedClipInfo> left = manager_.unsavedClips();
        if (std::ranges::any_of(left, [&](const UnsavedClipInfo& kept) { return kept.id == clip.id; })) {
            answered(false); // not saved: the user sees why, and quits again when ready
            co_return;
        }
    }
    answered(manager_.unsavedClipsToAskAbout() == 0);
}

} // namespace backreel
