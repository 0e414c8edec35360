#include "services/ReplyWatcher.h"

#include "core/PindleError.h"

#include <QLocale>

void ReplyDeleter::operator()(QNetworkReply *reply) const {
    if (!reply)
        return;
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

ReplyWatcher::ReplyWatcher(QNetworkReply &reply, std::chrono::milliseconds idleTimeout)
    : m_reply(reply) {
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(idleTimeout);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_reply.abort();
    });
    connect(&reply, &QNetworkReply::metaDataChanged, this, &ReplyWatcher::wake);
    connect(&reply, &QIODevice::readyRead, this, &ReplyWatcher::wake);
    connect(&reply, &QNetworkReply::finished, this, &ReplyWatcher::wake);
    connect(&reply, &QNetworkReply::uploadProgress, this, &ReplyWatcher::onProgress);
    connect(&reply, &QNetworkReply::downloadProgress, this, &ReplyWatcher::onProgress);
    connect(&reply, &QObject::destroyed, this, [this] {
        m_replyAlive = false;
        m_waiting = {};
        m_idleTimer.stop();
    });
    if (!reply.isFinished())
        m_idleTimer.start();
}

bool ReplyWatcher::hasNews() const {
    return m_reply.bytesAvailable() > 0 || m_reply.isFinished();
}

void ReplyWatcher::onProgress() {
    if (!m_reply.isFinished())
        m_idleTimer.start();
}

void ReplyWatcher::wake() {
    onProgress();
    if (m_reply.isFinished())
        m_idleTimer.stop();
    if (const auto waiting = std::exchange(m_waiting, {})) {
        // Posted with this watcher as context: if the waiting coroutine's frame (and so this
        // watcher) goes away first, the resumption is dropped with it.
        // A reply deleted before the resumption runs takes its reader's owner with it.
        QMetaObject::invokeMethod(
            this,
            [this, waiting] {
                if (m_replyAlive)
                    waiting.resume();
            },
            Qt::QueuedConnection);
    }
}

QCoro::Task<> ReplyWatcher::head() {
    while (!m_reply.isFinished() &&
           !m_reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        // Headers alone bring no readable bytes, so wait for any signal rather than for news.
        struct HeadAwaiter {
            ReplyWatcher &watcher;
            bool await_ready() const noexcept { return false; }
            void await_suspend(std::coroutine_handle<> waiting) { watcher.m_waiting = waiting; }
            void await_resume() const noexcept {}
        };
        co_await HeadAwaiter{*this};
    }
}

QCoro::Task<QByteArray> ReplyWatcher::readAll(qsizetype limit) {
    QByteArray body;
    for (;;) {
        const bool ended = m_reply.isFinished();
        body += takeAvailable();
        if (body.size() > limit) {
            m_reply.abort();
            //: %1 is the largest reply accepted, in mebibytes
            throw PindleError(tr("The server's reply is larger than %1 MiB.")
                                  .arg(QLocale().toString(limit / (1024 * 1024))));
        }
        if (ended)
            co_return body;
        co_await activity();
    }
}

int ReplyWatcher::status() const {
    const QVariant status = m_reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : 0;
}

QByteArray ReplyWatcher::takeAvailable() {
    return m_reply.isOpen() ? m_reply.readAll() : QByteArray();
}

bool ReplyWatcher::transportFailed() const {
    // Codes below 200 are connection and proxy failures; 201-499 stand for HTTP statuses.
    const QNetworkReply::NetworkError error = m_reply.error();
    return m_timedOut || (error > QNetworkReply::NoError && error < 200) ||
           error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolFailure;
}

QString ReplyWatcher::transportErrorText() const {
    if (m_timedOut)
        return tr("The request timed out.");
    return m_reply.errorString();
}
