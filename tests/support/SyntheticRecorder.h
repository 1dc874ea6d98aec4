#pragma once

// The recorder on the synthetic platform: its state, a stand-in save flow and the settings; and the
// save dialog's answers.

#include "capture/RecordingManager.h"
#include "export/SaveFlow.h"
#include "export/SaveLocation.h"
#include "support/synthetic/SyntheticPlatform.h"

#include <deque>
#include <QCoroTimer>

namespace backreel::test {

// Keeps the clips it is handed and answers with `outcome`; held, each save waits for its open().
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

// A 1920 × 1080 display, side by side with the others by its number.
inline Display display(std::uint32_t id, const QString& name = {}) {
    return Display{id, 1920, 1080, QRectF((id - 1) * 1920.0, 0, 1920, 1080),
                   name.isNull() ? QStringLiteral("VIRT-%1").arg(id) : name};
}

// The synthetic platform with these displays (the first the main one) and windows, or these options.
struct SyntheticRecorder {
    explicit SyntheticRecorder(SyntheticOptions options)
        : state(std::make_shared<SyntheticState>(std::move(options)))
        , platform(makeSyntheticPlatform(state))
        , saveFlow(std::make_shared<SaveFlowStandIn>(state)) {}
    explicit SyntheticRecorder(std::vector<Display> displays = {display(1)}, std::vector<Window> windows = {})
        : SyntheticRecorder([&] {
            SyntheticOptions options;
            options.mainDisplayID = displays.empty() ? 0 : displays.front().displayID;
            options.content.displays = std::move(displays);
            options.content.windows = std::move(windows);
            return options;
        }()) {}
    std::unique_ptr<RecordingManager> makeManager() const {
        return std::make_unique<RecordingManager>(platform, saveFlow, settings);
    }
    std::shared_ptr<SyntheticState> state;
    Platform platform;
    std::shared_ptr<SaveFlowStandIn> saveFlow;
    std::shared_ptr<RecorderSettings> settings = std::make_shared<RecorderSettings>();
};

} // namespace backreel::test
