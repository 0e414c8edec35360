#include "platform/sway/SwayIpc.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

#include <cstring>

namespace {

Q_LOGGING_CATEGORY(lcSway, "pindle.sway")

constexpr QByteArrayView magic = "i3-ipc";
constexpr qsizetype headerSize = 6 + 2 * sizeof(quint32);
// The largest answer taken: a tree of a few hundred windows is well under a megabyte.
constexpr quint32 largestMessage = 64u << 20;
constexpr quint32 windowEvent = 0x80000003u;

} // namespace

std::unique_ptr<SwayIpc> SwayIpc::connectToSession() {
    const QString path = qEnvironmentVariable("SWAYSOCK");
    if (path.isEmpty())
        return nullptr;
    auto ipc = std::make_unique<SwayIpc>(path);
    if (!ipc->connected()) {
        qCWarning(lcSway) << "sway's IPC socket" << path
                          << "does not answer:" << ipc->m_requests.socket.errorString();
        return nullptr;
    }
    return ipc;
}

SwayIpc::SwayIpc(const QString &socketPath, QObject *parent)
    : QObject(parent) {
    connect(&m_requests.socket, &QLocalSocket::readyRead, this, [this] {
        readMessages(m_requests, [this](quint32, const QByteArray &payload) { answered(payload); });
    });
    // Whoever waits is told that no answer will come.
    connect(&m_requests.socket, &QLocalSocket::disconnected, this, [this] {
        for (auto waiting = std::exchange(m_waiting, {}); auto &then : waiting)
            then({});
    });
    connect(&m_events.socket, &QLocalSocket::readyRead, this, [this] {
        readMessages(m_events, [this](quint32 type, const QByteArray &payload) {
            if (type == windowEvent)
                Q_EMIT windowChanged(QJsonDocument::fromJson(payload).object());
        });
    });
    // Local sockets connect at once or not at all.
    m_requests.socket.connectToServer(socketPath);
    m_events.socket.connectToServer(socketPath);
    if (m_events.socket.waitForConnected(0))
        send(m_events.socket, Subscribe, R"(["window"])");
}

SwayIpc::~SwayIpc() {
    // Closing the sockets would otherwise report to callbacks already gone.
    m_requests.socket.disconnect(this);
    m_events.socket.disconnect(this);
}

bool SwayIpc::connected() const {
    return m_requests.socket.state() == QLocalSocket::ConnectedState;
}

void SwayIpc::run(const QString &commands) {
    send(m_requests.socket, RunCommand, commands.toUtf8());
    m_waiting.push_back([commands](const QByteArray &payload) {
        for (const QJsonValue &outcome : QJsonDocument::fromJson(payload).array())
            if (!outcome[QLatin1String("success")].toBool())
                qCWarning(lcSway) << "sway did not run" << commands << ":"
                                  << outcome[QLatin1String("error")].toString();
    });
}

void SwayIpc::tree(std::function<void(const QJsonObject &)> then) {
    send(m_requests.socket, GetTree, {});
    m_waiting.push_back([then = std::move(then)](const QByteArray &payload) {
        then(QJsonDocument::fromJson(payload).object());
    });
}

void SwayIpc::send(QLocalSocket &socket, Type type, const QByteArray &payload) {
    QByteArray message(magic.data(), magic.size());
    const quint32 header[2]{quint32(payload.size()), type};
    message.append(reinterpret_cast<const char *>(header), sizeof header);
    message.append(payload);
    socket.write(message);
}

void SwayIpc::readMessages(Connection &connection,
                           const std::function<void(quint32, const QByteArray &)> &take) {
    connection.received.append(connection.socket.readAll());
    while (connection.received.size() >= headerSize) {
        quint32 header[2];
        std::memcpy(header, connection.received.constData() + magic.size(), sizeof header);
        if (!connection.received.startsWith(magic) || header[0] > largestMessage) {
            qCWarning(lcSway) << "sway's IPC socket sent something unreadable; leaving it";
            connection.socket.abort();
            connection.received.clear();
            return;
        }
        if (connection.received.size() < headerSize + qsizetype(header[0]))
            return;
        const QByteArray payload = connection.received.mid(headerSize, header[0]);
        connection.received.remove(0, headerSize + header[0]);
        take(header[1], payload);
    }
}

void SwayIpc::answered(const QByteArray &payload) {
    if (m_waiting.empty())
        return;
    auto then = std::move(m_waiting.front());
    m_waiting.pop_front();
    then(payload);
}
