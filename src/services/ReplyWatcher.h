#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QTimer>

#include <QCoroTask>

#include <chrono>
#include <coroutine>
#include <memory>

/// Owns a reply: one still running is aborted, so nothing more is read from the server, and it is
/// deleted from the event loop rather than inside one of its own signals.
struct ReplyDeleter {
    void operator()(QNetworkReply *reply) const;
};
using ReplyPtr = std::unique_ptr<QNetworkReply, ReplyDeleter>;

/// Lets a coroutine wait for a reply to make progress, and aborts the reply when it stays silent
/// for longer than the idle timeout (no bytes either way).
///
/// The waiting coroutine resumes inside the reply's signal; it may still abort or drop the reply,
/// because `ReplyPtr` deletes replies from the event loop.
class ReplyWatcher final : public QObject {
    Q_OBJECT

public:
    ReplyWatcher(QNetworkReply &reply, std::chrono::milliseconds idleTimeout);

    /// Suspends until the reply has unread bytes or has finished (at once if either holds).
    [[nodiscard]] auto activity() {
        struct Awaiter {
            ReplyWatcher &watcher;
            bool await_ready() const noexcept { return watcher.hasNews(); }
            void await_suspend(std::coroutine_handle<> waiting) { watcher.m_waiting = waiting; }
            void await_resume() const noexcept {}
        };
        return Awaiter{*this};
    }

    /// Suspends until the reply has its status line and headers, or has ended without them.
    QCoro::Task<> head();

    /// Reads the whole body. Fails with `PindleError` when it grows past `limit` bytes.
    QCoro::Task<QByteArray> readAll(qsizetype limit);

    /// The bytes that have arrived and not been read yet (none once the reply was aborted).
    [[nodiscard]] QByteArray takeAvailable();

    /// True when the reply ended because the transfer failed (refused, dropped, timed out, TLS),
    /// as opposed to a complete HTTP reply, whatever its status.
    [[nodiscard]] bool transportFailed() const;
    /// The failure to report for a reply that ended in a transport error.
    [[nodiscard]] QString transportErrorText() const;

    [[nodiscard]] bool timedOut() const { return m_timedOut; }
    /// The HTTP status, or 0 before the head has arrived or when there is none.
    [[nodiscard]] int status() const;

private:
    [[nodiscard]] bool hasNews() const;
    void wake();
    void onProgress();

    QNetworkReply &m_reply;
    QTimer m_idleTimer;
    bool m_timedOut = false;
    // False once the network access manager has deleted the reply (it is shutting down, and so is
    // whoever was waiting): the waiting coroutine is then never resumed.
    bool m_replyAlive = true;
    std::coroutine_handle<> m_waiting;
};
