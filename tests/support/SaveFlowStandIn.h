#pragma once

#include "export/SaveFlow.h"
#include "support/synthetic/SyntheticState.h"

#include <memory>
#include <vector>

namespace backreel::test {

// A save flow that keeps the clips it is handed and answers with a chosen status.
class SaveFlowStandIn final : public SaveFlow {
public:
    explicit SaveFlowStandIn(std::shared_ptr<SyntheticState> state) : state_(std::move(state)) {}

    QCoro::Task<RecordingStatus> save(Clip clip) override {
        state_->record("save");
        clips.push_back(std::move(clip));
        co_return outcome;
    }

    RecordingStatus outcome = RecordingStatus::saved(QUrl::fromLocalFile(QStringLiteral("/tmp/backreel-test.mp4")));
    std::vector<Clip> clips;

private:
    std::shared_ptr<SyntheticState> state_;
};

} // namespace backreel::test
