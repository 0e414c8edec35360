#pragma once

#include "core/PindleError.h"

#include <QEventLoop>
#include <QString>

#include <QCoroTask>

#include <exception>
#include <functional>
#include <optional>

// Runs the event loop until `task` completes and hands back its result or rethrows its failure.
// (QCoro::waitFor never returns when the task fails after it has suspended.)
template <typename T> T await(QCoro::Task<T> task) {
    QEventLoop loop;
    bool done = false;
    std::exception_ptr failure;
    [[maybe_unused]] std::optional<std::conditional_t<std::is_void_v<T>, int, T>> result;
    const auto runner = [&]() -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>)
                co_await std::move(task);
            else
                result = co_await std::move(task);
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        loop.quit();
    };
    const QCoro::Task<> running = runner();
    if (!done)
        loop.exec();
    if (failure)
        std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

// The message of the `Error` that `task` fails with; a marker when it does not fail.
template <typename Error, typename T> QString failureOf(QCoro::Task<T> task) {
    try {
        await(std::move(task));
    } catch (const Error &error) {
        return error.message();
    }
    return QStringLiteral("<no failure>");
}

// How `run` ends, in one line: what it returns, or the kind of its failure and the message the
// user reads, the kind `own` standing for the service's own error class `Own`.
template <typename Own> QString outcomeOf(const QString &own, const std::function<QString()> &run) {
    try {
        return run();
    } catch (const Own &error) {
        return own + u": " + error.message();
    } catch (const NetworkError &error) {
        return "network: " + error.message();
    } catch (const DecodingError &error) {
        return "decoding: " + error.message();
    } catch (const FileError &error) {
        return "file: " + error.message();
    } catch (const PindleError &error) {
        return "error: " + error.message();
    }
}
