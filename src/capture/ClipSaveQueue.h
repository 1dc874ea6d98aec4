#pragma once

#include <deque>
#include <functional>
// Hidden from moc, which reads it through the headers it compiles and cannot parse <coroutine> ahead
// of every other standard header; it needs nothing of it.
#ifndef Q_MOC_RUN
#include <coroutine>
#endif

class QObject;

namespace backreel {

// The order in which Save Clip writes its clips: one at a time, the first cut first, none dropped.
// A clip takes a Place in the queue when it is cut and co_awaits the Place's turn(), which is there
// at once for the only clip and otherwise resumes the save from the event loop once every clip
// before it has been written; the clip leaves the queue when its Place goes.
//
// Thread contract: main thread only.
class ClipSaveQueue {
public:
    class Place;

    // What co_await on Place::turn() waits on. Points at its Place, as the coroutine machinery may
    // copy awaiters.
    struct Turn {
        Place* place;
        bool await_ready() const noexcept;
        void await_suspend(std::coroutine_handle<> waiting) const noexcept;
        void await_resume() const noexcept {}
    };

    // A clip's place in the queue, from its cut to the end of its save; lives in the saving
    // coroutine's frame.
    class Place {
    public:
        // Joins at the back.
        explicit Place(ClipSaveQueue& queue);
        // Leaves the queue; the next clip may then be written.
        ~Place();
        Place(const Place&) = delete;
        Place& operator=(const Place&) = delete;

        Turn turn() { return Turn{this}; }

    private:
        friend struct Turn;
        friend class ClipSaveQueue;
        void come(QObject* context);

        ClipSaveQueue& queue_;
        bool ready_ = false;
        std::coroutine_handle<> waiting_;
    };

    // Waiting saves are resumed in `context`'s thread; `changed` is called whenever a clip joins
    // or leaves.
    ClipSaveQueue(QObject* context, std::function<void()> changed);

    // The clips in the queue, the one being written included.
    int pending() const { return static_cast<int>(places_.size()); }

private:
    // Gives the front of the queue its turn, unless it has it already.
    void next();

    QObject* const context_;
    const std::function<void()> changed_;
    std::deque<Place*> places_;
};

} // namespace backreel
