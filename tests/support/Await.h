#pragma once

#include <optional>
#include <QCoroTask>
#include <QEventLoop>

namespace backreel::test {

// QCoro::waitFor for results that have no default value.
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

} // namespace backreel::test
