#include "app/UnsavedClipsQuestion.h"

#include "capture/RecordingManager.h"

#include <QCoroSignal>
#include <QPushButton>

namespace backreel {

UnsavedClipsQuestion::UnsavedClipsQuestion(RecordingManager& manager, QObject* parent)
    : QObject(parent)
    , manager_(manager) {}

UnsavedClipsQuestion::~UnsavedClipsQuestion() {
    delete box_.data();
}

QCoro::Task<bool> UnsavedClipsQuestion::ask() {
    if (box_) {
        box_->raise();
        box_->activateWindow();
        co_return false;
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
    box->open();
    // The recorder may go while the question waits (the application ending): checked after it.
    const QPointer<UnsavedClipsQuestion> alive(this);
    co_await qCoro(box, &QMessageBox::finished);
    if (!alive || !box_) {
        co_return false;
    }
    const QAbstractButton* answer = box->clickedButton();
    box_.clear();
    if (answer == discard) {
        manager_.discardUnsavedClips();
        co_return true;
    }
    if (answer == save) {
        co_return co_await saveEach();
    }
    co_return false;
}

QCoro::Task<bool> UnsavedClipsQuestion::saveEach() {
    const QPointer<UnsavedClipsQuestion> alive(this);
    for (const UnsavedClipInfo& clip : manager_.unsavedClips()) {
        co_await manager_.saveAgain(clip.id);
        if (!alive) {
            co_return false;
        }
        const std::vector<UnsavedClipInfo> left = manager_.unsavedClips();
        if (std::ranges::any_of(left, [&](const UnsavedClipInfo& kept) { return kept.id == clip.id; })) {
            co_return false; // not saved: the user sees why, and quits again when ready
        }
    }
    co_return manager_.unsavedClipsToAskAbout() == 0;
}

} // namespace backreel
