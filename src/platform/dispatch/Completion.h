#pragma once

#include <QFuture>
#include <QPromise>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace backreel {

// Bridges a platform completion callback, which may run on any thread, to a QFuture that a
// coroutine on the main thread can co_await. Only the first call of the callback counts; later
// calls are ignored. A callback that is dropped without being called completes the future with
// ifDropped, so nothing waits forever on a backend that forgot to answer.
template <typename T>
struct Completion {
    QFuture<T> future;
    std::function<void(T)> callback;
};

template <typename T>
Completion<T> makeCompletion(T ifDropped) {
    struct Shared {
        explicit Shared(T fallback) : ifDropped(std::move(fallback)) {}
        QPromise<T> promise;
        std::atomic_flag done;
        T ifDropped;
        ~Shared() {
            if (!done.test_and_set()) {
                promise.addResult(std::move(ifDropped));
                promise.finish();
            }
        }
    };
    auto shared = std::make_shared<Shared>(std::move(ifDropped));
    shared->promise.start();
    Completion<T> completion{shared->promise.future(), {}};
    completion.callback = [shared](T value) {
        if (shared->done.test_and_set()) {
            return;
        }
        shared->promise.addResult(std::move(value));
        shared->promise.finish();
    };
    return completion;
}

inline std::pair<QFuture<void>, std::function<void()>> makeVoidCompletion() {
    struct Shared {
        QPromise<void> promise;
        std::atomic_flag done;
        ~Shared() {
            if (!done.test_and_set()) {
                promise.finish();
            }
        }
    };
    auto shared = std::make_shared<Shared>();
    shared->promise.start();
    QFuture<void> future = shared->promise.future();
    return {future, [shared] {
                if (!shared->done.test_and_set()) {
                    shared->promise.finish();
                }
            }};
}

} // namespace backreel
