#pragma once

#include "export/SaveFlow.h"
#include "export/SaveLocation.h"
#include "support/synthetic/SyntheticState.h"

#include <memory>
#include <optional>
#include <vector>

namespace backreel::test {

// A save flow that keeps the clips it is handed and answers with a chosen status.
class SaveFlowStandIn final : public SaveFlow {
public:
    explicit SaveFlowStandIn(std::shared_ptr<SyntheticState> state)
        : state_(std::move(state)) {}

    QCoro::Task<RecordingStatus> save(Clip clip, SaveRequest request) override {
        state_->record("save");
        clips.push_back(std::move(clip));
        requests.push_back(std::move(request));
        co_return outcome;
    }

    RecordingStatus outcome =
        RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/backreel-test.mp4")));
    std::vector<Clip> clips;
    std::vector<SaveRequest> requests;

private:
    std::shared_ptr<SyntheticState> state_;
};

// A save dialog that always answers with the same file.
class FixedLocation final : public SaveLocationChooser {
public:
    explicit FixedLocation(QString path)
        : path_(std::move(path)) {}
    QCoro::Task<std::optional<QString>> chooseLocation() override { co_return path_; }

private:
    QString path_;
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
