#pragma once

#include "platform/portal/PipeWireStream.h"
#include "platform/portal/ScreenCastPortal.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <QCoroTask>
#include <QSize>

namespace backreel::portal {

// A screen cast that runs: its portal session and the PipeWire stream of its node, from the
// user's choice until a capture stream is done with it. It ends when its owner closes it, when
// the desktop closes the session, or when the stream ends (see PipeWireStream).
//
// Thread contract: open() on the main thread. The rest on any thread except the handlers' own;
// the picture handler runs on PipeWire's thread, the end handler there or on the main thread.
class PortalCast {
public:
    using EndHandler = std::function<void(const Error& error)>;

    // Connects to the cast's node and waits (a few seconds at most) for the first format, so that
    // the size is known.
    static QCoro::Task<Expected<std::shared_ptr<PortalCast>>> open(ScreenCast cast, int frameRate = 30);
    ~PortalCast();
    PortalCast(const PortalCast&) = delete;
    PortalCast& operator=(const PortalCast&) = delete;

    const CastStream& castStream() const { return stream_; }
    // The pictures' size now, in pixels.
    QSize pictureSize() const;
    // Where pictures and the end go from now on; an end that came before is told at once.
    void setHandlers(PipeWireStream::PictureHandler onPicture, EndHandler onEnd);
    // Ticks on PipeWire's thread, between pictures (see PipeWireStream::setTickHandler()).
    void setTickHandler(std::chrono::nanoseconds interval, PipeWireStream::TickHandler onTick);
    // Stops the stream and closes the session; no handler runs afterwards. Idempotent.
    void close();

private:
    explicit PortalCast(ScreenCast cast);
    void end(const Error& error);

    const std::shared_ptr<PortalSession> session_;
    const CastStream stream_;

    mutable std::mutex mutex_;
    QSize size_;
    std::optional<Error> ended_;
    EndHandler onEnd_;
    bool closed_ = false;
    std::unique_ptr<PipeWireStream> pipeWire_; // made and dropped on the owner's thread
    std::function<void(QSize)> onFirstFormat_;
};

} // namespace backreel::portal
