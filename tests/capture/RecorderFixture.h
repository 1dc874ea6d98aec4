// The recorder on the synthetic platform: a manager made afresh, frames and sound by hand or in real time.

#pragma once

#include "support/synthetic/SyntheticCaptureService.h"
#include "support/SyntheticRecorder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTest>

using namespace backreel;
using namespace std::chrono_literals;

// Two displays, the second the main one; with handDriven, frames and audio only as a test delivers them.
inline SyntheticOptions desktop(bool handDriven = false) {
    SyntheticOptions options;
    options.content.displays = {test::display(1), test::display(2)};
    options.content.applications = {RunningApplication{QStringLiteral("Backreel"), kApplicationID, 1}};
    options.mainDisplayID = 2;
    options.generateSamples = !handDriven;
    return options;
}

class RecordingManagerTest : public ::testing::Test {
protected:
    // A new manager with its settings read afresh, as at a launch.
    void make(SyntheticOptions options = desktop()) {
        manager.reset();
        const test::SyntheticRecorder recorder(std::move(options));
        state = recorder.state;
        saveFlow = recorder.saveFlow;
        settings = recorder.settings;
        // Settings outlive a case: a limit one case sets must not shrink the next one's buffer.
        settings->setMemoryLimit(MemoryLimit::defaultLimit());
        manager = recorder.makeManager();
        QObject::connect(manager.get(), &RecordingManager::statusChanged,
                         [this] { statuses.push_back(manager->status().kind()); });
        frames_ = chunks_ = 0;
    }

    void start() { QCoro::waitFor(manager->startRecording()); }
    void stop() { QCoro::waitFor(manager->stopAndSave()); }

    std::vector<std::string> journal(const std::vector<std::string>& only) const {
        std::vector<std::string> result;
        std::ranges::copy_if(state->journal(), std::back_inserter(result), [&](const std::string& event) {
            return std::ranges::find(only, event) != only.end();
        });
        return result;
    }

    // `count` frames 1/30 s apart and 10 ms audio chunks over the same time, on from the last ones
    // (the first at 100 s); then, when settling, waits until the stores, on their own thread, have them.
    void deliver(int count, bool settle = true) {
        SyntheticVideoSource* stream = state->lastSource();
        SyntheticAudioSource* sound = state->lastAudio();
        ASSERT_TRUE(stream && sound);
        const std::size_t frames = manager->session()->videoStore().count() + static_cast<std::size_t>(count);
        const std::size_t chunks = manager->session()->audioStore().count();
        const int firstChunk = chunks_;
        for (int i = 0; i < count; ++i, ++frames_) {
            stream->deliverScreenFrame(MediaTime::makeWithSeconds(100 + frames_ / 30.0, kTimeScale));
        }
        for (; chunks_ * 0.01 < frames_ / 30.0; ++chunks_) {
            sound->deliverAudio(MediaTime::makeWithSeconds(100 + chunks_ * 0.01, kTimeScale));
        }
        const auto expectedChunks = chunks + static_cast<std::size_t>(chunks_ - firstChunk);
        ASSERT_TRUE(!settle || QTest::qWaitFor(
                                   [&] {
                                       return manager->session()->videoStore().count() >= frames &&
                                              manager->session()->audioStore().count() >= expectedChunks;
                                   },
                                   5000));
    }

    std::shared_ptr<SyntheticState> state;
    std::shared_ptr<test::SaveFlowStandIn> saveFlow;
    std::shared_ptr<RecorderSettings> settings;
    std::unique_ptr<RecordingManager> manager;
    std::vector<RecordingStatus::Kind> statuses;
    int frames_ = 0;
    int chunks_ = 0;
};
