#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// What a launch sends, on a line of its own: this, or the id of the action it asks for.
const QByteArray showCommand = "show";

QString runtimeFolder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
    , m_socketPath(runtimeFolder() + QStringLiteral("/pindle-%1.socket").arg(::getuid())) {
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    const QByteArray word = client->readLine().trimmed();
                    if (word == showCommand)
                        Q_EMIT showRequested();
                    else if (const auto action = shortcutActionWithId(QString::fromLatin1(word)))
                        Q_EMIT actionRequested(*action);
                }
            });
        }
    });
}

bool SingleInstance::claim(std::optional<Action> action) {
    // The lock decides who runs, even when two copies start at once; the socket only carries
    // the request.
    m_lock = std::make_unique<QLockFile>(m_socketPath + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        QLocalSocket running;
        running.connectToServer(m_socketPath);
        if (running.waitForConnected(2000)) {
            const QByteArray word =
                action ? QByteArray(shortcutAction(*action).id.data()) : showCommand;
            running.write(word + '\n');
            running.waitForBytesWritten(2000);
            running.disconnectFromServer();
        } else {
            qWarning("Pindle is running but does not answer: %s",
                     qPrintable(running.errorString()));
        }
        return false;
    }
    QLocalServer::removeServer(m_socketPath); // left behind by a copy that crashed
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath))
        qWarning("Pindle: a second launch will not reach this one: %s",
                 qPrintable(m_server.errorString()));
    return true;
}
