#pragma once

// Waiting on the main thread of a test for what arrives through its event loop: a coroutine's
// result, or a condition that a queued signal brings about.

#include "support/ChildProcess.h"

#include <chrono>
#include <optional>
#include <QCoreApplication>
#include <QCoroTask>
#include <QEventLoop>

namespace backreel::test {

// Runs the main thread's event loop until the task has its result, and yields it.
template <typename T> T await(QCoro::Task<T> task) {
    std::optional<T> result;
    QEventLoop loop;
    auto run = [&]() -> QCoro::Task<> {
        result.emplace(co_await std::move(task));
        loop.quit();
    };
    QCoro::Task<> running = run();
    if (!result) {
        loop.exec();
    }
    return std::move(*result);
}

// Like waitUntil, with the main thread's events handled meanwhile (D-Bus signals and queued
// signals come there).
inline bool waitWithEvents(const std::function<bool()>& condition,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    return waitUntil(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            return condition();
        },
        timeout);
}

} // namespace backreel::test
