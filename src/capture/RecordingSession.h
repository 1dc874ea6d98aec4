#pragma once

#include "capture/AudioCapture.h"
#include "capture/CaptureSetup.h"
#include "capture/CodecChoice.h"
#include "capture/FramePipeline.h"
#include "capture/MediaStores.h"
#include "capture/MemoryLimit.h"
#include "core/Error.h"
#include "core/log/Log.h"
#include "export/Clip.h"
#include "platform/Platform.h"
#include "platform/VideoEncoder.h"
#include "platform/VideoSource.h"

#include <memory>
#include <mutex>
#include <utility>
#include <optional>
#include <QCoroTask>
#include <QObject>
#include <QString>
#include <vector>

namespace backreel {

// How a recording is set up.
struct RecordingSetup {
    ResolvedCapture capture;
    double bufferCapacity = 0;                             // seconds each store keeps
    MemoryLimit memoryLimit = MemoryLimit::defaultLimit(); // on what both stores hold together
    CodecChoice codec = CodecChoice::automatic;
    AudioInput systemSound;                // everything, or one application's
    std::optional<AudioInput> microphone; // none: no microphone
    int frameRate = 30;
};

// One recording: its video source, the frame pipeline and encoder behind it, its sound and the two
// stores. It exists only while it runs or holds what it buffered: start() makes one once
// everything has started, and destroying it stops the sources and closes the encoder, so nothing
// reaches it afterwards, and no report of its sources reaches anyone.
//
// Threads: the video source's (grab or PipeWire), the encoder's, the audio source's, and the main
// thread, where every member runs. The sources' reports reach the session queued to the main
// thread and leave it as its signals.
class RecordingSession final : public QObject {
    Q_OBJECT

public:
    // Opens the encoder (a failure ends the start with the encoder's message), starts the sound
    // and then the video source. Nothing is left running when it fails.
    static QCoro::Task<Expected<std::unique_ptr<RecordingSession>>> start(Platform platform,
                                                                          RecordingSetup setup, Logger log);

    ~RecordingSession() override;

    // Stops the video source and the sound, completes every frame still in the encoder and hands
    // over what the stores held, leaving them empty. Once.
    QCoro::Task<BufferedMedia> stop();

    // What the stores hold now, while the recording goes on (see MediaStores::cut()).
    BufferedMedia cut(StoresAfterCut after) { return stores_->cut(after); }
    // Counts a clip cut from this recording against its memory limit while the handle lives.
    std::shared_ptr<void> holdClip(const std::vector<VideoPacket>& video,
                                   const std::vector<AudioPacket>& audio) {
        return stores_->holdClip(video, audio);
    }

    // Marks the newest picture's moment; none before the first picture. Markers older than the
    // buffer go.
    std::optional<Marker> mark(const QString& label);
    // The markers within the buffer, oldest first.
    const std::vector<Marker>& markers() const { return markers_; }

    const RingBuffer& videoStore() const { return *stores_->video(); }
    const AudioRingBuffer& audioStore() const { return *stores_->audio(); }
    const MediaStores& stores() const { return *stores_; }
    // Why the sound of the origin is missing now; none while it records (or is not recorded).
    const std::optional<Error>& audioLoss(AudioOrigin origin = AudioOrigin::system) const {
        return origin == AudioOrigin::microphone ? microphoneLoss_ : audioLoss_;
    }

signals:
    // The video source ended by itself; what was buffered can still be taken with stop().
    void ended(const QString& reason);
    // The sound of the origin was lost (with the reason) or is back (none).
    void audioChanged(backreel::AudioOrigin origin, const std::optional<backreel::Error>& lost);

private:
    RecordingSession(const RecordingSetup& setup, Logger log);
    void sourceEnded(const CaptureError& reason);
    // The audio source's reports, taken on the main thread in the order they came.
    Q_INVOKABLE void takeAudioReports();

    const Logger log_;
    const std::shared_ptr<MediaStores> stores_;
    std::shared_ptr<VideoEncoder> encoder_;
    std::unique_ptr<FramePipeline> pipeline_;
    std::unique_ptr<AudioCapture> audio_;
    std::unique_ptr<AudioCapture> microphone_;
    std::unique_ptr<VideoSource> source_;
    std::optional<Error> audioLoss_;
    std::optional<Error> microphoneLoss_;
    std::vector<Marker> markers_;
    bool stopped_ = false;

    // Handed over from the audio source's thread under this mutex of ours: Qt's event queue locks
    // with futexes that a thread checker cannot see, so the queued call carries no data.
    std::mutex audioReportsMutex_;
    std::vector<std::pair<AudioOrigin, std::optional<Error>>> audioReports_;
};

} // namespace backreel
