#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace {

const QByteArray showCommand = "show\n";

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
                while (client->canReadLine())
                    if (client->readLine() == showCommand)
                        Q_EMIT showRequested();
            });
        }
    });
}

bool SingleInstance::claim() {
    // The lock decides who runs, even when two copies start at once; the socket only carries
    // the request.
    m_lock = std::make_unique<QLockFile>(m_socketPath + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        QLocalSocket running;
        running.connectToServer(m_socketPath);
        if (running.waitForConnected(2000)) {
            running.write(showCommand);
            running.waitForBytesWritten(2000);
            running.disconnectFromServer();
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
