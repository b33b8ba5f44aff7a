#pragma once

#include <QCoroTask>
#include <QEventLoop>

#include <exception>
#include <optional>
#include <type_traits>

namespace quorlin {

// Runs a coroutine to completion in a nested event loop and returns its value, rethrowing what it
// threw. (QCoro::waitFor of this QCoro version never returns when the coroutine throws.)
template <typename T> T waitForTask(QCoro::Task<T> task)
{
    QEventLoop loop;
    bool done = false;
    std::exception_ptr failure;
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;
    std::optional<Stored> result;
    auto runner = [&]() -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                result.emplace(true);
            } else {
                result.emplace(co_await task);
            }
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
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

} // namespace quorlin
