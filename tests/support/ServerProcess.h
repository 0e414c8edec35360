#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>
#include <utility>

class QNetworkReply;

/// A real pindle-server started for a test, with its own database and configuration in a
/// temporary folder, and a small HTTP client to talk to it.
class ServerProcess {
public:
    struct Answer {
        int status = 0;
        QByteArray body;
        [[nodiscard]] QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    };
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    /// Starts the server with these settings on top of a fresh database, on a free loopback port
    /// unless they name one.
    explicit ServerProcess(QJsonObject settings);
    ~ServerProcess();
    /// Settings that forward chat and transcription to a fake provider at `root`.
    [[nodiscard]] static QJsonObject forwardingTo(const QUrl &root) {
        return {{QStringLiteral("provider_url"), QString(root.toString() + u"/v1")},
                {QStringLiteral("provider_api_key"), QStringLiteral("sk-test")}};
    }

    [[nodiscard]] bool running() const { return m_running; }
    /// Asks the server to stop (SIGTERM); true when it ended by itself, cleanly, within seconds.
    [[nodiscard]] bool stop();
    /// Ends the server at once (SIGKILL), as a crash would.
    void kill();
    /// Waits for the server to end by itself, after signals the test sent; its exit code, or -1
    /// when it crashed or was still running after `msecs` (and was then killed).
    int waitForExit(int msecs);
    /// http://127.0.0.1:port, or https:// when the settings name a certificate; the proxy's
    /// address once reachThrough() named one.
    [[nodiscard]] QUrl url() const;
    /// Sends call(), send() and postSignupForm() through a reverse proxy at `front` from now on,
    /// trusting the certificate in `certificate` (a PEM file) when it speaks TLS.
    void reachThrough(const QUrl &front, const QString &certificate = {});
    /// Runs an operator command (`user create ...`), feeding `input` to it; returns its output.
    std::pair<int, QByteArray> command(const QStringList &arguments, const QByteArray &input = {});
    /// Sends one request and waits for the whole answer.
    Answer call(const QByteArray &method, const QString &path, const QByteArray &body = {},
                const Headers &headers = {});
    /// Sends one request, whose answer arrives as the event loop runs.
    std::unique_ptr<QNetworkReply> send(const QByteArray &method, const QString &path,
                                        const QByteArray &body = {}, const Headers &headers = {});
    /// Posts the sign-up form as a browser does from the server's own page: with the page's
    /// origin, and the token that the page and its cookie carry.
    Answer postSignupForm(const QByteArray &form);
    /// Creates an account and signs it in; returns its bearer token.
    QString signedInUser(const QString &email, qint64 balance = 100000);
    /// The account's balance as `user list` shows it; -1 when it has none.
    qint64 balanceOf(const QString &email);
    /// Writes `bytes` on a new connection; returns what came back once `answers` answers (each
    /// ending in `last`) have arrived, or, when `answers` is 0, once the server closed it.
    QByteArray exchange(const QByteArray &bytes, int answers = 0, const QByteArray &last = {});
    /// How many descriptors the server holds open.
    [[nodiscard]] qsizetype openFiles() const;
    [[nodiscard]] static Headers bearer(const QString &token) {
        return {{"Authorization", "Bearer " + token.toUtf8()}};
    }
    /// Makes a self-signed certificate for 127.0.0.1 in `directory` (cert.pem, key.pem), as the
    /// settings tls_certificate and tls_private_key name them; empty settings when openssl fails.
    [[nodiscard]] static QJsonObject selfSignedTls(const QString &directory);
    [[nodiscard]] QByteArray log() const { return m_log; }
    [[nodiscard]] qint64 processId() const { return m_process.processId(); }

private:
    QTemporaryDir m_dir;
    QString m_configPath;
    quint16 m_port = 0;
    QUrl m_front;          // a reverse proxy in front of the server, if the test put one there
    QString m_certificate; // trusted by call(): the server's own, or the proxy's
    QProcess m_process;
    QByteArray m_log;
    bool m_running = false;
    bool m_stoppedCleanly = false;
    QNetworkAccessManager m_network;
};

/// A test's server ends with a clean stop, so that a crash or a sanitizer report in it fails the
/// test; a failed test shows the server's log.
inline void endTestServer(std::unique_ptr<ServerProcess> &server) {
    if (server && server->running())
        QVERIFY2(server->stop(), server->log().constData());
    if (QTest::currentTestFailed() && server)
        qWarning("server log:\n%s", server->log().constData());
    server.reset();
}
