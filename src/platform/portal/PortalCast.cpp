#include "platform/portal/PortalCast.h"

#include "core/dispatch/Completion.h"

#include <QTimer>
#include <unistd.h>

namespace backreel::portal {

namespace {
// How long the stream may take to say what it sends.
constexpr int kFormatTimeoutMs = 5000;
} // namespace

PortalCast::PortalCast(ScreenCast cast)
    : session_(std::move(cast.session))
    , stream_(cast.stream) {}

PortalCast::~PortalCast() {
    close();
}

QCoro::Task<Expected<std::shared_ptr<PortalCast>>> PortalCast::open(ScreenCast cast, int frameRate) {
    const int remote = dup(cast.remote.fileDescriptor());
    if (remote < 0) {
        co_return Error(QStringLiteral("The PipeWire connection could not be taken over."), errno);
    }
    std::shared_ptr<PortalCast> self(new PortalCast(std::move(cast)));
    Completion<Expected<QSize>> firstFormat(Error(QStringLiteral("The screen's stream ended.")));
    {
        std::lock_guard lock(self->mutex_);
        self->onFirstFormat_ = [answer = firstFormat.callback()](QSize size) {
            answer(size);
        };
    }
    // The PipeWire stream lives inside the cast and is stopped before the cast goes, so its
    // handlers reach the cast through a plain pointer (and never end it on PipeWire's thread).
    PortalCast* const raw = self.get();
    auto onFormat = [raw](std::int32_t width, std::int32_t height) {
        std::function<void(QSize)> first;
        {
            std::lock_guard lock(raw->mutex_);
            raw->size_ = QSize(width, height);
            first = std::move(raw->onFirstFormat_);
            raw->onFirstFormat_ = nullptr;
        }
        if (first) {
            first(QSize(width, height));
        }
    };
    auto onEnd = [raw](const Error& error) {
        raw->end(error);
    };
    Expected<std::unique_ptr<PipeWireStream>> pipeWire =
        PipeWireStream::connect(remote, self->stream_.nodeID, frameRate, std::move(onFormat), std::move(onEnd));
    if (!pipeWire) {
        co_return pipeWire.error();
    }
    self->pipeWire_ = std::move(pipeWire).value();
    self->session_->setClosedHandler(
        [raw] { raw->end(Error(QStringLiteral("The desktop stopped the screen sharing."))); });

    QTimer::singleShot(kFormatTimeoutMs, [answer = firstFormat.callback()] {
        answer(Error(QStringLiteral("The screen's stream sent no picture.")));
    });
    {
        // An end before the first format answers too.
        std::lock_guard lock(self->mutex_);
        self->onEnd_ = [answer = firstFormat.callback()](const Error& error) {
            answer(error);
        };
        if (self->ended_) {
            self->onEnd_(*self->ended_);
        }
    }
    QCoro::Task<Expected<QSize>> waiting = firstFormat.wait();
    const Expected<QSize> size = co_await waiting;
    {
        std::lock_guard lock(self->mutex_);
        self->onEnd_ = nullptr;
        self->onFirstFormat_ = nullptr;
    }
    if (!size) {
        self->close();
        co_return size.error();
    }
    co_return self;
}

QSize PortalCast::pictureSize() const {
    std::lock_guard lock(mutex_);
    return size_;
}

void PortalCast::setHandlers(PipeWireStream::PictureHandler onPicture, EndHandler onEnd) {
    std::optional<Error> endedBefore;
    {
        std::lock_guard lock(mutex_);
        onEnd_ = onEnd;
        endedBefore = ended_;
    }
    // After the end handler: taking PipeWire's lock waits for a handler that runs on its thread,
    // with the old end handler too.
    if (pipeWire_) {
        pipeWire_->setPictureHandler(std::move(onPicture));
    }
    if (endedBefore && onEnd) {
        onEnd(*endedBefore);
    }
}

void PortalCast::setTickHandler(std::chrono::nanoseconds interval, PipeWireStream::TickHandler onTick) {
    if (pipeWire_) {
        pipeWire_->setTickHandler(interval, std::move(onTick));
    }
}

void PortalCast::end(const Error& error) {
    EndHandler handler;
    {
        std::lock_guard lock(mutex_);
        if (ended_ || closed_) {
            return;
        }
        ended_ = error;
        handler = onEnd_;
    }
    if (handler) {
        handler(error);
    }
}

void PortalCast::close() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        closed_ = true;
        onEnd_ = nullptr;
    }
    pipeWire_.reset();
    session_->close();
}

} // namespace backreel::portal
