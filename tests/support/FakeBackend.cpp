#include "FakeBackend.h"

#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

QByteArray FakeBackend::Request::header(QByteArrayView name) const {
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

int FakeBackend::Request::headerCount(QByteArrayView name) const {
    return int(std::count_if(headers.cbegin(), headers.cend(), [&](const auto &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    }));
}

QJsonObject FakeBackend::Request::json() const {
    return QJsonDocument::fromJson(body).object();
}

FakeBackend::Reply FakeBackend::Reply::json(int status, const QJsonObject &body) {
    return text(status, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json");
}

FakeBackend::Reply FakeBackend::Reply::text(int status, QByteArray body, QByteArray contentType) {
    Reply reply;
    reply.status = status;
    reply.headers = {{"Content-Type", std::move(contentType)}};
    reply.parts = {{std::move(body)}};
    return reply;
}

FakeBackend::Reply FakeBackend::Reply::stream(QList<Part> parts) {
    Reply reply;
    reply.headers = {{"Content-Type", "text/event-stream"}, {"Cache-Control", "no-cache"}};
    reply.parts = std::move(parts);
    reply.chunked = true;
    return reply;
}

namespace {

quint32 crc32(const QByteArray &bytes, quint32 crc = 0) {
    crc = ~crc;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray littleEndian(quint32 value, int bytes) {
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xff);
    return out;
}

} // namespace

FakeBackend::Reply FakeBackend::Reply::gzipped() && {
    // Stored deflate blocks: no compressor needed, and every part stands whole on the wire.
    quint32 crc = 0;
    quint32 size = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray plain = parts[i].bytes;
        QByteArray encoded =
            i == 0 ? QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10) : QByteArray();
        for (qsizetype at = 0; at < plain.size(); at += 0xffff) {
            const QByteArray block = plain.mid(at, 0xffff);
            encoded += '\0' + littleEndian(quint32(block.size()), 2) +
                       littleEndian(quint32(~block.size() & 0xffff), 2) + block;
        }
        crc = crc32(plain, crc);
        size += quint32(plain.size());
        parts[i].bytes = encoded;
    }
    if (parts.isEmpty())
        parts.append(Part{QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10)});
    // The last block, empty, then the checksum and length of what was encoded.
    parts.append(
        Part{QByteArray("\x01\x00\x00\xff\xff", 5) + littleEndian(crc, 4) + littleEndian(size, 4)});
    headers.append({QByteArrayLiteral("Content-Encoding"), QByteArrayLiteral("gzip")});
    return std::move(*this);
}

// One client connection: reads requests, writes the scripted reply for each in turn.
class FakeBackend::Connection final : public QObject {
public:
    Connection(FakeBackend &backend, QTcpSocket *socket)
        : QObject(socket)
        , m_backend(backend)
        , m_socket(socket) {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::readRequests);
        // An endless body is pumped from a timer, a piece per tick, so this server cannot
        // monopolise the event loop it shares with the client under test.
        m_pump.setInterval(1);
        connect(&m_pump, &QTimer::timeout, this, &Connection::keepEndlessGoing);
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            m_closed = true;
            m_pump.stop();
            ++m_backend.m_closedConnections;
            m_socket->deleteLater();
        });
    }

private:
    void readRequests() {
        m_buffer += m_socket->readAll();
        while (!m_replying) {
            const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            Request request;
            const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
            const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
            request.method = requestLine.value(0);
            request.target = requestLine.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon > 0)
                    request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
            }
            const qsizetype length = request.header("Content-Length").toLongLong();
            if (m_buffer.size() < headEnd + 4 + length)
                return;
            request.body = m_buffer.mid(headEnd + 4, length);
            m_buffer.remove(0, headEnd + 4 + length);
            m_backend.m_requests.append(request);
            Q_EMIT m_backend.received();
            startReply(m_backend.takeReply(request));
        }
    }

    void startReply(Reply reply) {
        m_replying = true;
        m_reply = std::move(reply);
        if (m_reply.headDelay.count() == 0)
            return sendHead();
        QTimer::singleShot(m_reply.headDelay, this, [this] {
            if (!m_closed)
                sendHead();
        });
    }

    void sendHead() {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_reply.status) + " Scripted\r\n";
        for (const auto &[name, value] : std::as_const(m_reply.headers))
            head += name + ": " + value + "\r\n";
        if (m_reply.chunked) {
            head += "Transfer-Encoding: chunked\r\n";
        } else {
            qsizetype length = 0;
            for (const Part &part : std::as_const(m_reply.parts))
                length += part.bytes.size();
            head += "Content-Length: " + QByteArray::number(length) + "\r\n";
        }
        m_socket->write(head + "\r\n");
        m_nextPart = 0;
        sendNextPart();
    }

    void sendNextPart() {
        if (m_closed)
            return;
        if (m_nextPart == m_reply.parts.size()) {
            finishReply();
            return;
        }
        const Part &part = m_reply.parts[m_nextPart];
        QTimer::singleShot(part.delay, this, [this] {
            if (m_closed)
                return;
            writeBody(m_reply.parts[m_nextPart++].bytes);
            sendNextPart();
        });
    }

    void writeBody(const QByteArray &bytes) {
        if (bytes.isEmpty())
            return;
        if (m_reply.chunked)
            m_socket->write(QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n");
        else
            m_socket->write(bytes);
        m_socket->flush();
    }

    void finishReply() {
        if (m_reply.endless) {
            m_pump.start();
            return;
        }
        if (m_reply.stall)
            return;
        if (m_reply.chunked)
            m_socket->write("0\r\n\r\n");
        m_replying = false;
        QTimer::singleShot(0, this, &Connection::readRequests);
    }

    void keepEndlessGoing() {
        if (m_closed || m_reply.parts.isEmpty())
            return;
        if (m_socket->bytesToWrite() < 256 * 1024)
            writeBody(m_reply.parts.last().bytes);
    }

    FakeBackend &m_backend;
    QTcpSocket *m_socket;
    QByteArray m_buffer;
    Reply m_reply;
    qsizetype m_nextPart = 0;
    bool m_replying = false;
    QTimer m_pump;
    bool m_closed = false;
};

FakeBackend::FakeBackend(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &FakeBackend::accept);
    if (!m_server->listen(QHostAddress::LocalHost))
        qFatal("FakeBackend: cannot listen on loopback: %s", qPrintable(m_server->errorString()));
}

FakeBackend::~FakeBackend() {
    // Close the connections while this object is whole: they report their closing to it.
    delete m_server;
}

QUrl FakeBackend::url() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort()));
}

void FakeBackend::enqueue(Reply reply) {
    m_replies.append(std::move(reply));
}

void FakeBackend::accept() {
    while (QTcpSocket *socket = m_server->nextPendingConnection())
        new Connection(*this, socket);
}

void FakeBackend::route(const QByteArray &target, Reply reply) {
    m_routes.insert(target, std::move(reply));
}

FakeBackend::Reply FakeBackend::takeReply(const Request &request) {
    if (const auto routed = m_routes.constFind(request.target); routed != m_routes.cend())
        return *routed;
    if (m_replies.isEmpty())
        return Reply::text(500, "no scripted reply");
    return m_replies.takeFirst();
}
