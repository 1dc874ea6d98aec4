#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <optional>
#include <QCoroFuture>
#include <QCoroTask>
#include <QFuture>
#include <QPromise>
#include <thread>
#include <utility>

namespace backreel {

// Bridges a platform completion callback, which may run on any thread, to a coroutine on the main
// thread. Only the first call of the callback counts; later calls are ignored. A callback that is
// dropped without being called completes with the fallback value, so nothing waits forever on a
// backend that forgot to answer.
//
// The value crosses threads under a std::mutex of our own; the QFuture only wakes the main thread.
template <typename T> class Completion {
public:
    explicit Completion(T ifDropped)
        : state_(std::make_shared<State>())
        , guard_(std::make_shared<Guard>(state_, std::move(ifDropped))) {}

    // The callback to hand to the platform, taken before wait(). Any thread.
    std::function<void(T)> callback() const {
        return [guard = guard_](T value) {
            guard->state->complete(std::move(value));
        };
    }

    // Suspends until the callback ran, or every copy of it was dropped, and yields the value.
    // Main thread; once.
    QCoro::Task<T> wait() {
        const std::shared_ptr<State> state = state_;
        guard_.reset(); // from now on only the platform's copies keep the callback alive
        const QFuture<void> finished = state->promise.future();
        co_await finished;
        std::lock_guard lock(state->mutex);
        co_return std::move(*state->value);
    }

private:
    struct State {
        State() { promise.start(); }

        void complete(T result) {
            {
                std::lock_guard lock(mutex);
                if (value) {
                    return;
                }
                value = std::move(result);
            }
            promise.finish();
        }

        std::mutex mutex;
        std::optional<T> value;
        QPromise<void> promise;
    };

    // Completes with the fallback when the last copy of the callback goes away.
    struct Guard {
        Guard(std::shared_ptr<State> s, T fallback)
            : state(std::move(s))
            , ifDropped(std::move(fallback)) {}
        ~Guard() { state->complete(std::move(ifDropped)); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

        std::shared_ptr<State> state;
        T ifDropped;
    };

    std::shared_ptr<State> state_;
    std::shared_ptr<Guard> guard_;
};

// Runs work on a thread of its own with this name (15 characters at most), off the main thread,
// and suspends the caller until it is done.
inline QCoro::Task<> runInBackground(const char* name, std::function<void()> work) {
    Completion<bool> done(true);
    std::thread([name, work = std::move(work), signal = done.callback()] {
        pthread_setname_np(pthread_self(), name);
        work();
        signal(true);
    }).detach();
    co_await done.wait();
}

// Runs work on a thread of its own with this name and yields its result; `ifLost` should the
// thread never answer.
template <typename T> QCoro::Task<T> runOffMainThread(const char* name, std::function<T()> work, T ifLost) {
    Completion<T> done(std::move(ifLost));
    std::thread([name, work = std::move(work), answer = done.callback()] {
        pthread_setname_np(pthread_self(), name);
        answer(work());
    }).detach();
    co_return co_await done.wait();
}

} // namespace backreel
