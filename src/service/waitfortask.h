#pragma once

#include <QCoroTask>
#include <QEventLoop>

#include <exception>
#include <optional>

namespace quorlin {

// Runs a coroutine to completion in a nested event loop and returns its value, rethrowing what it
// threw. (QCoro::waitFor of this QCoro version never returns when the coroutine throws.)
template <typename T> T waitForTask(QCoro::Task<T> task)
{
    QEventLoop loop;
    bool done = false;
    std::exception_ptr failure;
    std::optional<T> result;
    auto runner = [&]() -> QCoro::Task<> {
        try {
            result.emplace(co_await task);
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    auto running = runner();
    if (!done)
        loop.exec();
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}

inline void waitForTask(QCoro::Task<> task)
{
    QEventLoop loop;
    bool done = false;
    std::exception_ptr failure;
    auto runner = [&]() -> QCoro::Task<> {
        try {
            co_await task;
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    auto running = runner();
    if (!done)
        loop.exec();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace quorlin
