#pragma once

#include <QJsonObject>
#include <QLocalSocket>
#include <QObject>

#include <deque>
#include <functional>
#include <memory>

/// A client of sway's IPC socket (SWAYSOCK, i3's protocol): commands and the layout tree,
/// answered in the order asked, and the compositor's window events. Sway is the one compositor
/// here that lets a program place and focus its own windows this way; others have no such socket.
class SwayIpc final : public QObject {
    Q_OBJECT

public:
    /// Connects to the session's sway, when SWAYSOCK names one.
    [[nodiscard]] static std::unique_ptr<SwayIpc> connectToSession();

    explicit SwayIpc(const QString &socketPath, QObject *parent = nullptr);
    ~SwayIpc() override;

    [[nodiscard]] bool connected() const;
    /// Runs a command list, as swaymsg would; its outcome is only logged when it fails.
    void run(const QString &commands);
    /// Asks for the layout tree; `then` receives its root, or an empty object when sway is gone.
    void tree(std::function<void(const QJsonObject &)> then);

Q_SIGNALS:
    /// A window was created, focused, moved, closed…: sway's "window" event as it sent it.
    void windowChanged(const QJsonObject &event);

private:
    enum Type : quint32 { RunCommand = 0, Subscribe = 2, GetTree = 4 };
    struct Connection {
        QLocalSocket socket;
        QByteArray received;
    };

    static void send(QLocalSocket &socket, Type type, const QByteArray &payload);
    // Each whole message in `connection`'s buffer, with its type.
    static void readMessages(Connection &connection,
                             const std::function<void(quint32, const QByteArray &)> &take);
    void answered(const QByteArray &payload);

    Connection m_requests;
    Connection m_events;
    std::deque<std::function<void(const QByteArray &)>> m_waiting;
};
