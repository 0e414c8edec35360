#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QUrl>

#include <chrono>
#include <utility>

class QTcpServer;
class QTcpSocket;

/// An HTTP/1.1 server on loopback that stands in for the backend in tests. It records every
/// request byte for byte and answers with scripted replies, in order: a status, headers, and a
/// body sent in parts whose split and timing the test chooses (a part may end inside a line or
/// inside a UTF-8 character). A reply may also never end, or stall after its parts.
class FakeBackend final : public QObject {
    Q_OBJECT

public:
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    struct Request {
        QByteArray method;
        QByteArray target;
        Headers headers;
        QByteArray body;

        /// The first header called `name`, compared without regard to case; empty if none.
        [[nodiscard]] QByteArray header(QByteArrayView name) const;
        [[nodiscard]] int headerCount(QByteArrayView name) const;
        [[nodiscard]] QJsonObject json() const;
    };

    struct Part {
        QByteArray bytes;
        /// Pause before these bytes are sent.
        std::chrono::milliseconds delay{0};
    };

    struct Reply {
        int status = 200;
        Headers headers;
        QList<Part> parts;
        /// Chunked transfer encoding, as a streaming server sends; else a Content-Length.
        bool chunked = false;
        /// After the parts, send the last part again and again until the client goes away.
        bool endless = false;
        /// After the parts, send nothing more and keep the connection open.
        bool stall = false;
        /// Pause before the head (status line and headers) is sent, as a server that answers
        /// nothing until its first byte of body is ready.
        std::chrono::milliseconds headDelay{0};

        [[nodiscard]] static Reply json(int status, const QJsonObject &body);
        [[nodiscard]] static Reply text(int status, QByteArray body,
                                        QByteArray contentType = "text/plain; charset=utf-8");
        /// A 200 event stream in the given parts, chunked as a streaming server sends it.
        [[nodiscard]] static Reply stream(QList<Part> parts);
        /// This reply, made `endless` or to `stall`.
        [[nodiscard]] Reply endlessly() && { return endless = true, std::move(*this); }
        [[nodiscard]] Reply stalled() && { return stall = true, std::move(*this); }
        /// This reply with its body gzip-encoded (Content-Encoding: gzip), each part decodable
        /// as soon as it arrives, as a server that flushes its compressor after every event.
        [[nodiscard]] Reply gzipped() &&;
    };

    explicit FakeBackend(QObject *parent = nullptr);
    ~FakeBackend() override;

    /// http://127.0.0.1:<port>, the port chosen by the system.
    [[nodiscard]] QUrl url() const;
    /// Answers a later request; with none queued the server answers 500 "no scripted reply".
    void enqueue(Reply reply);
    /// Answers every request for `target` (path and query) with `reply`, whatever is queued, so
    /// requests the client makes on its own (the model list) cannot take the queue's replies.
    void route(const QByteArray &target, Reply reply);
    [[nodiscard]] const QList<Request> &requests() const { return m_requests; }
    /// Connections the client has closed or dropped so far.
    [[nodiscard]] int closedConnections() const { return m_closedConnections; }

Q_SIGNALS:
    /// A whole request has arrived (emitted on the thread the backend lives in).
    void received();

private:
    class Connection;
    friend class Connection;

    void accept();
    Reply takeReply(const Request &request);

    QTcpServer *m_server;
    QList<Reply> m_replies;
    QHash<QByteArray, Reply> m_routes;
    QList<Request> m_requests;
    int m_closedConnections = 0;
};
