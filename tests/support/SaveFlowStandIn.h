#pragma once

#include "export/SaveFlow.h"
#include "export/SaveLocation.h"
#include "support/synthetic/SyntheticState.h"

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <QCoroTimer>
#include <vector>

namespace backreel::test {

// A save flow that keeps the clips it is handed and answers with `outcome`, as it stands when the
// save ends. Held, each save waits until the test opens the way for it: one save per open(), in turn.
class SaveFlowStandIn final : public SaveFlow {
public:
    explicit SaveFlowStandIn(std::shared_ptr<SyntheticState> state = nullptr)
        : state_(std::move(state)) {}

    QCoro::Task<RecordingStatus> save(Clip clip, SaveRequest request) override {
        if (state_) {
            state_->record("save");
        }
        clips.push_back(std::move(clip));
        requests.push_back(std::move(request));
        const std::size_t mine = clips.size();
        while (held && opened_ < mine) {
            QCoro::Task<> pause = QCoro::sleepFor(std::chrono::milliseconds(2));
            co_await pause;
        }
        const RecordingStatus answer = outcome; // a copy: co_return may move from what it is given
        co_return answer;
    }
    void open() { ++opened_; }

    bool held = false;
    RecordingStatus outcome =
        RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/backreel-test.mp4")));
    std::vector<Clip> clips;
    std::vector<SaveRequest> requests;

private:
    std::shared_ptr<SyntheticState> state_;
    std::size_t opened_ = 0;
};

// The save dialog's answers, one a save; a cancel once they run out.
class AnswerList final : public SaveLocationChooser {
public:
    QCoro::Task<std::optional<QString>> chooseLocation() override {
        std::optional<QString> answer;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        co_return answer;
    }
    std::deque<std::optional<QString>> answers;
};

// Hands every clip to a real save flow and keeps it, in order, so files can be compared with it.
class KeepingSaveFlow final : public SaveFlow {
public:
    explicit KeepingSaveFlow(std::shared_ptr<SaveFlow> inner)
        : inner_(std::move(inner)) {}
    QCoro::Task<RecordingStatus> save(Clip clip, SaveRequest request) override {
        clips.push_back(clip);
        QCoro::Task<RecordingStatus> saving = inner_->save(std::move(clip), std::move(request));
        co_return co_await saving;
    }
    std::vector<Clip> clips;

private:
    std::shared_ptr<SaveFlow> inner_;
};

} // namespace backreel::test
