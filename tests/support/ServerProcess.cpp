#include "ServerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

#ifndef PINDLE_SERVER_PATH
#error "PINDLE_SERVER_PATH must name the pindle-server executable"
#endif

ServerProcess::ServerProcess(QJsonObject settings) {
    m_port = quint16(settings.value(QStringLiteral("port")).toInt());
    if (m_port == 0) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
    }
    settings.insert(QStringLiteral("port"), m_port);
    m_certificate = settings.value(QStringLiteral("tls_certificate")).toString();
    for (const auto &[name, value] :
         {std::pair{"database", QJsonValue(m_dir.filePath(QStringLiteral("pindle.db")))},
          {"journal_directory", QJsonValue(m_dir.filePath(QStringLiteral("journal")))},
          {"worker_threads", QJsonValue(2)}})
        if (!settings.contains(QLatin1String(name)))
            settings.insert(QLatin1String(name), value);
    m_configPath = m_dir.filePath(QStringLiteral("server.json"));
    QFile config(m_configPath);
    if (!config.open(QIODevice::WriteOnly) || config.write(QJsonDocument(settings).toJson()) < 0)
        qFatal("cannot write %s", qPrintable(m_configPath));
    config.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"PINDLE_PORT", "PINDLE_DATABASE", "PINDLE_PROVIDER_URL",
                             "PINDLE_PROVIDER_API_KEY", "PINDLE_LISTEN_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // A suite that crashes takes its server with it.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QObject::connect(&m_process, &QProcess::readyRead, [this] { m_log += m_process.readAll(); });
    m_process.start(QStringLiteral(PINDLE_SERVER_PATH),
                    {QStringLiteral("--config"), m_configPath, QStringLiteral("serve")});
    QElapsedTimer waited;
    waited.start();
    while (!m_running && waited.elapsed() < 20000 && m_process.state() != QProcess::NotRunning) {
        m_running = call("GET", QStringLiteral("/healthz")).status == 200;
        if (!m_running)
            QThread::msleep(50);
    }
}

ServerProcess::~ServerProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        waitForExit(10000);
    }
}

bool ServerProcess::stop() {
    if (m_running) {
        m_process.terminate();
        m_stoppedCleanly = waitForExit(10000) == 0;
    }
    return m_stoppedCleanly;
}

void ServerProcess::kill() {
    m_process.kill();
    waitForExit(5000);
}

int ServerProcess::waitForExit(int msecs) {
    m_running = false;
    const bool ended = m_process.waitForFinished(msecs);
    if (!ended)
        m_process.kill();
    m_process.waitForFinished(5000);
    m_log += m_process.readAll();
    return ended && m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QUrl ServerProcess::url() const {
    if (m_front.isValid())
        return m_front;
    return QUrl(QStringLiteral("%1://127.0.0.1:%2")
                    .arg(m_certificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"))
                    .arg(m_port));
}

void ServerProcess::reachThrough(const QUrl &front, const QString &certificate) {
    m_front = front;
    m_certificate = certificate;
}

std::pair<int, QByteArray> ServerProcess::command(const QStringList &arguments,
                                                  const QByteArray &input) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(PINDLE_SERVER_PATH),
               QStringList{QStringLiteral("--config"), m_configPath} + arguments);
    tool.write(input);
    tool.closeWriteChannel();
    tool.waitForFinished(60000);
    return {tool.exitCode(), tool.readAll()};
}

std::unique_ptr<QNetworkReply> ServerProcess::send(const QByteArray &method, const QString &path,
                                                   const QByteArray &body, const Headers &headers) {
    QNetworkRequest request(QUrl(url().toString() + path));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/json"));
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    if (!m_certificate.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(m_certificate));
        request.setSslConfiguration(tls);
    }
    return std::unique_ptr<QNetworkReply>(m_network.sendCustomRequest(request, method, body));
}

ServerProcess::Answer ServerProcess::call(const QByteArray &method, const QString &path,
                                          const QByteArray &body, const Headers &headers) {
    const std::unique_ptr<QNetworkReply> reply = send(method, path, body, headers);
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(60000);
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

ServerProcess::Answer ServerProcess::postSignupForm(const QByteArray &form) {
    // The network access manager keeps the page's cookie and sends it back.
    const QByteArray page = call("GET", QStringLiteral("/signup")).body;
    const QRegularExpression field(QStringLiteral(R"re(name="csrf" value="([0-9a-f]+)")re"));
    const QString token = field.match(QString::fromUtf8(page)).captured(1);
    return call("POST", QStringLiteral("/signup"), form + "&csrf=" + token.toLatin1(),
                {{"Content-Type", "application/x-www-form-urlencoded"},
                 {"Origin", url().toString().toLatin1()}});
}

QString ServerProcess::signedInUser(const QString &email, qint64 balance) {
    command({QStringLiteral("user"), QStringLiteral("create"), email, QStringLiteral("Tester"),
             QString::number(balance)},
            "correct horse\n");
    const QJsonObject login{{QStringLiteral("email"), email},
                            {QStringLiteral("password"), QStringLiteral("correct horse")}};
    return call("POST", QStringLiteral("/api/auth/login"), QJsonDocument(login).toJson())
        .json()
        .value(QStringLiteral("token"))
        .toString();
}

qint64 ServerProcess::balanceOf(const QString &email) {
    const QList<QByteArray> lines =
        command({QStringLiteral("user"), QStringLiteral("list")}).second.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 5 && fields[1] == email.toUtf8())
            return fields[4].toLongLong();
    }
    return -1;
}

QByteArray ServerProcess::exchange(const QByteArray &bytes, int answers, const QByteArray &last) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(10000))
        return {};
    socket.write(bytes);
    QByteArray received;
    while ((answers == 0 || received.count(last) < answers) &&
           socket.waitForReadyRead(answers == 0 ? 30000 : 10000))
        received += socket.readAll();
    return received + socket.readAll();
}

qsizetype ServerProcess::openFiles() const {
    return QDir(QStringLiteral("/proc/%1/fd").arg(processId()))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

QJsonObject ServerProcess::selfSignedTls(const QString &directory) {
    const QString certificate = directory + QStringLiteral("/cert.pem");
    const QString key = directory + QStringLiteral("/key.pem");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                                 "-addext subjectAltName=IP:127.0.0.1 -keyout")
                          .split(u' ') +
                      QStringList{key, QStringLiteral("-out"), certificate});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        return {};
    return {{QStringLiteral("tls_certificate"), certificate},
            {QStringLiteral("tls_private_key"), key}};
}
