// pindle-server behind Debian's nginx, set up with the location block the README gives operators,
// over https: accounts made and used, each client counted under its own address whatever it
// claims, answers passed on line by line, and the large bodies of a chat and of a recording.

#include "ChatReplies.h"
#include "ServerProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

#ifndef PINDLE_SOURCE_DIR
#error "PINDLE_SOURCE_DIR must name the source tree, whose README.md holds the nginx block"
#endif

using Reply = FakeBackend::Reply;

namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// The location block of the README's nginx example, as an operator copies it.
QByteArray readmeLocation() {
    QFile readme(PINDLE_SOURCE_DIR "/README.md");
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QRegularExpression block("```nginx\n(location / \\{\n.*?\n\\})\n```",
                                   QRegularExpression::DotMatchesEverythingOption);
    return block.match(QString::fromUtf8(readme.readAll())).captured(1).toUtf8();
}

// Debian's nginx as the test's own child, in a folder of its own: a server block for each
// location block given, each terminating TLS on a free loopback port.
class Nginx {
public:
    explicit Nginx(const QByteArrayList &locations) {
        const QJsonObject tls = ServerProcess::selfSignedTls(m_dir.path());
        m_certificate = tls["tls_certificate"].toString();
        const QByteArray dir = m_dir.path().toUtf8();
        QByteArray servers;
        for (const QByteArray &location : locations) {
            m_ports.append(freePort());
            servers += "server {\n listen 127.0.0.1:" + QByteArray::number(m_ports.last()) +
                       " ssl;\n ssl_certificate " + m_certificate.toUtf8() +
                       ";\n ssl_certificate_key " + tls["tls_private_key"].toString().toUtf8() +
                       ";\n" + location + "\n}\n";
        }
        // Run by root, the workers would take a user that cannot enter the temporary folder.
        QByteArray config = geteuid() == 0 ? "user root;\n" : "";
        config += "worker_processes 1;\nerror_log " + dir +
                  "/error.log info;\n"
                  "events { worker_connections 128; }\nhttp {\n access_log off;\n";
        for (const char *kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            config += QByteArray(" ") + kind + "_temp_path " + dir + '/' + kind + ";\n";
        config += servers + "}\n";
        QFile file(m_dir.filePath("nginx.conf"));
        if (m_certificate.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(config) < 0)
            return;
        file.close();

        // A crashed test takes nginx with it; SIGTERM lets the master end its workers too.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        const QString pid = m_dir.filePath("nginx.pid");
        m_process.start("/usr/sbin/nginx",
                        {"-p", m_dir.path() + u'/', "-c", file.fileName(), "-e",
                         m_dir.filePath("error.log"), "-g", "daemon off; pid " + pid + u';'});
        // Listening once the master has written its pid.
        for (int waited = 0;
             waited < 400 && m_process.state() != QProcess::NotRunning && !QFile::exists(pid);
             waited += 50)
            m_process.waitForFinished(50);
        m_running = m_process.state() == QProcess::Running;
    }

    ~Nginx() { stop(); }

    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] QUrl url(qsizetype server) const {
        return QUrl(QString("https://127.0.0.1:%1").arg(m_ports.value(server)));
    }
    [[nodiscard]] QString certificate() const { return m_certificate; }
    [[nodiscard]] QByteArray errorLog() const {
        QFile file(m_dir.filePath("error.log"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // What nginx wrote to its log and to its terminal.
    [[nodiscard]] QByteArray log() {
        m_output += m_process.readAll();
        return errorLog() + m_output;
    }
    // A fast shutdown (SIGTERM); true when nginx then ended cleanly.
    bool stop() {
        if (!m_running)
            return false;
        m_running = false;
        m_process.terminate();
        return m_process.waitForFinished(20000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }

private:
    QTemporaryDir m_dir;
    QString m_certificate;
    QList<quint16> m_ports;
    QProcess m_process;
    QByteArray m_output;
    bool m_running = false;
};

// The lines of nginx's log that report something wrong with a request or with nginx itself.
QByteArrayList troubleIn(const QByteArray &log) {
    QByteArrayList lines;
    for (const QByteArray &line : log.split('\n'))
        for (const char *level : {"[error]", "[crit]", "[alert]", "[emerg]"})
            if (line.contains(level))
                lines.append(line);
    return lines;
}

QByteArray question(const QByteArray &content = R"("Hi")", const QByteArray &members = {}) {
    return R"({"model":"gpt-4.1","category":"writing","messages":[{"role":"user","content":)" +
           content + "}]," + members + R"("temperature":0.2,"max_tokens":512,"stream":true})";
}

QByteArray chunked(const QByteArray &bytes) {
    return QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n";
}

// Bytes that vary, so that a piece lost or repeated on the way shows.
QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

} // namespace

class ServerProxyTest : public QObject {
    Q_OBJECT

private:
    quint16 m_serverPort = 0;
    std::unique_ptr<Nginx> m_nginx; // the block as written, then without "proxy_buffering off"
    qsizetype m_nginxLogSeen = 0;
    std::unique_ptr<FakeBackend> m_provider;
    std::unique_ptr<ServerProcess> m_server;

    ServerProcess::Answer signUp(const QByteArray &email, const QByteArray &forwardedFor = {}) {
        ServerProcess::Headers headers;
        if (!forwardedFor.isEmpty())
            headers.append({"X-Forwarded-For", forwardedFor});
        return m_server->call(
            "POST", "/api/auth/signup",
            "{\"name\":\"Ada\",\"password\":\"analytical!\",\"email\":\"" + email + "\"}", headers);
    }

    QByteArray emailOf(const QString &token) {
        return m_server->call("GET", "/api/auth/me", {}, ServerProcess::bearer(token))
            .json()["email"]
            .toString()
            .toUtf8();
    }

private Q_SLOTS:
    void initTestCase() {
        QByteArray location = readmeLocation();
        QVERIFY2(location.count("proxy_pass http://127.0.0.1:8787;") == 1,
                 "README.md has no nginx location block passing to 127.0.0.1:8787");
        m_serverPort = freePort();
        location.replace(":8787;", QByteArray(':' + QByteArray::number(m_serverPort) + ';'));
        QByteArrayList buffered = location.split('\n');
        buffered.removeIf(
            [](const QByteArray &line) { return line.contains("proxy_buffering off;"); });
        QCOMPARE(buffered.size(), location.count('\n')); // one line of them gone
        m_nginx = std::make_unique<Nginx>(QByteArrayList{location, buffered.join('\n')});
        QVERIFY2(m_nginx->running(), m_nginx->log().constData());
    }

    void cleanupTestCase() {
        if (!m_nginx || !m_nginx->running())
            return; // it did not start
        QVERIFY2(m_nginx->stop(), m_nginx->log().constData());
        QVERIFY2(troubleIn(m_nginx->errorLog()).isEmpty(), m_nginx->errorLog().constData());
    }

    void init() {
        m_provider = std::make_unique<FakeBackend>();
        QJsonObject settings = ServerProcess::forwardingTo(m_provider->url());
        settings.insert("port", m_serverPort);
        settings.insert("trusted_proxies", QJsonArray{"127.0.0.1"});
        m_server = std::make_unique<ServerProcess>(settings);
        QVERIFY2(m_server->running(), m_server->log().constData());
        m_server->reachThrough(m_nginx->url(0), m_nginx->certificate());
        m_nginxLogSeen = m_nginx->errorLog().size();
    }

    // Every request should have passed nginx without a complaint in its log.
    void cleanup() {
        endTestServer(m_server);
        m_provider.reset();
        const QByteArray log = m_nginx->errorLog().mid(m_nginxLogSeen);
        if (QTest::currentTestFailed())
            qWarning("nginx log:\n%s", log.constData());
        QVERIFY2(troubleIn(log).isEmpty(), troubleIn(log).join('\n').constData());
    }

    // The sign-up page's form works as the browser sees the server, through the proxy: its
    // origin is the proxy's https address, and its token's cookie is kept to https.
    void accounts() {
        const ServerProcess::Answer fromProgram = signUp("ada@example.org");
        QCOMPARE(fromProgram.status, 201);
        QCOMPARE(emailOf(fromProgram.json()["token"].toString()), "ada@example.org");

        const std::unique_ptr<QNetworkReply> page = m_server->send("GET", "/signup");
        QSignalSpy loaded(page.get(), &QNetworkReply::finished);
        QVERIFY(page->isFinished() || loaded.wait(30000));
        QVERIFY2(page->rawHeader("Set-Cookie").startsWith("__Host-pindle-csrf="),
                 page->rawHeader("Set-Cookie").constData());
        const ServerProcess::Answer fromPage =
            m_server->postSignupForm("name=Bo&email=bo%40example.org&password=analytical%21");
        QVERIFY2(fromPage.status == 201, fromPage.body.constData());

        const ServerProcess::Answer login = m_server->call(
            "POST", "/api/auth/login", R"({"email":"bo@example.org","password":"analytical!"})");
        QCOMPARE(login.status, 200);
        QCOMPARE(emailOf(login.json()["token"].toString()), "bo@example.org");
    }

    // The server counts the address nginx saw, not one the client claims: a new forged address
    // each time does not get past the limit of five sign-ups an hour from one address.
    void forgedAddressesStillCountAsTheClient() {
        for (int i = 1; i <= 5; ++i)
            QCOMPARE(signUp("u" + QByteArray::number(i) + "@example.org",
                            "198.51.100." + QByteArray::number(i))
                         .status,
                     201);
        const ServerProcess::Answer sixth = signUp("u6@example.org", "198.51.100.6");
        QCOMPARE(sixth.status, 429);
        QCOMPARE(sixth.json()["error"].toString(),
                 "Too many new accounts from here. Try again in an hour.");
    }

    void answersStreamLineByLine_data() {
        QTest::addColumn<int>("server");
        QTest::newRow("the block as written") << 0;
        // The server asks for it itself (X-Accel-Buffering: no), for proxies set up otherwise.
        QTest::newRow("without proxy_buffering off") << 1;
    }

    // The provider sends its first line and holds the rest until that line has come through
    // nginx: a proxy that held the answer back until its end would never let it finish.
    void answersStreamLineByLine() {
        QFETCH(int, server);
        m_server->reachThrough(m_nginx->url(server), m_nginx->certificate());
        const QString token = m_server->signedInUser("s@example.org");
        Reply held = Reply::stream({{deltaLine("First") + '\n'}}).stalled();
        held.headers.append({"Connection", QByteArray("close")});
        m_provider->enqueue(std::move(held));

        const std::unique_ptr<QNetworkReply> answer =
            m_server->send("POST", "/api/chat", question(), ServerProcess::bearer(token));
        QByteArray received;
        bool released = false;
        qsizetype upstream = 0; // the provider's connections when the first line came through
        connect(answer.get(), &QNetworkReply::readyRead, this, [&] {
            received += answer->readAll();
            if (released || !received.contains("data: "))
                return;
            released = true;
            // The provider's connection is the fake backend's one socket: the rest of the
            // stalled answer goes out on it.
            const QList<QTcpSocket *> sockets = m_provider->findChildren<QTcpSocket *>();
            upstream = sockets.size();
            if (upstream == 1)
                sockets.first()->write(chunked(deltaLine(" second") + '\n') +
                                       chunked("data: [DONE]\n\n") + "0\r\n\r\n");
        });
        QSignalSpy finished(answer.get(), &QNetworkReply::finished);
        const bool ended = finished.wait(30000);
        // Not even the first line before the end: the proxy held the answer back.
        QVERIFY2(released, QByteArray("received: " + received).constData());
        QCOMPARE(upstream, 1);
        QVERIFY(ended);
        QCOMPARE(answer->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        // The server's comments, which keep a waiting client patient, aside.
        const QString lines =
            QString::fromUtf8(received + answer->readAll())
                .remove(QRegularExpression("^:[^\n]*\n\n", QRegularExpression::MultilineOption));
        QCOMPARE(lines, deltaLine("First") + '\n' + deltaLine(" second") + "\ndata: [DONE]\n\n");
    }

    // The user's own system prompt rides in the chat's body, as large as the server takes it.
    void systemPrompts() {
        const QString token = m_server->signedInUser("p@example.org");
        const QString sentence = "Réponds en français, brièvement. ";
        QString prompt = sentence.repeated(12 * 1024 / sentence.toUtf8().size());
        prompt += QString(12 * 1024 - prompt.toUtf8().size(), u'.');
        const auto ask = [&](const QString &systemPrompt) {
            const QByteArray member = QJsonDocument(QJsonObject{{"system_prompt", systemPrompt}})
                                          .toJson(QJsonDocument::Compact)
                                          .mid(1)
                                          .chopped(1);
            return m_server->call("POST", "/api/chat", question(R"("Hi")", member + ','),
                                  ServerProcess::bearer(token));
        };
        m_provider->enqueue(streamedReply({"Oui."}));
        QCOMPARE(ask(prompt).status, 200);
        QCOMPARE(m_provider->requests().size(), 1);
        const QJsonArray sent = m_provider->requests().first().json()["messages"].toArray();
        QVERIFY(std::any_of(sent.begin(), sent.end(), [&](const QJsonValue &message) {
            return message["role"].toString() == "system" &&
                   message["content"].toString() == prompt;
        }));

        // Refused by the server, in its own words, not by nginx.
        const ServerProcess::Answer tooLong = ask(QString(16 * 1024 + 1, u'a'));
        QCOMPARE(tooLong.status, 400);
        QVERIFY2(!tooLong.json()["error"].toString().isEmpty(), tooLong.body.constData());
        QCOMPARE(m_provider->requests().size(), 1);
    }

    // A question about a screenshot carries a picture of some MiB, which reaches the provider
    // whole.
    void screenshotQuestion() {
        const QString token = m_server->signedInUser("i@example.org");
        const QByteArray picture = "data:image/jpeg;base64," + pattern(3750000).toBase64();
        QVERIFY(picture.size() > 5000000);
        m_provider->enqueue(streamedReply({"A terminal."}));
        const ServerProcess::Answer answer =
            m_server->call("POST", "/api/chat",
                           question(R"([{"type":"text","text":"What is on my screen?"},)"
                                    "{\"type\":\"image_url\",\"image_url\":{\"url\":\"" +
                                    picture + "\"}}]"),
                           ServerProcess::bearer(token));
        QVERIFY2(answer.status == 200, answer.body.constData());
        QVERIFY(answer.body.contains(deltaLine("A terminal.")));
        const QJsonArray sent = m_provider->requests().first().json()["messages"].toArray();
        QVERIFY(sent.last()["content"][1]["image_url"]["url"].toString() == QLatin1String(picture));
    }

    // A voice recording of some MiB goes up as a form and its transcript comes back.
    void transcription() {
        const QString token = m_server->signedInUser("t@example.org");
        const QByteArray audio = pattern(4 * 1024 * 1024);
        m_provider->enqueue(Reply::json(200, QJsonObject{{"text", "Hello there."}}));
        const QByteArray form = "--XyZ\r\nContent-Disposition: form-data; name=\"audio\"; "
                                "filename=\"audio.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n" +
                                audio +
                                "\r\n--XyZ\r\nContent-Disposition: form-data; name=\"category\""
                                "\r\n\r\ngeneral\r\n--XyZ--\r\n";
        ServerProcess::Headers headers = ServerProcess::bearer(token);
        headers.append({"Content-Type", QByteArray("multipart/form-data; boundary=XyZ")});
        const ServerProcess::Answer answer =
            m_server->call("POST", "/api/chat/transcribe", form, headers);
        QVERIFY2(answer.status == 200, answer.body.constData());
        QCOMPARE(answer.json()["transcript"].toString(), "Hello there.");
        QCOMPARE(m_provider->requests().size(), 1);
        QCOMPARE(m_provider->requests().first().target, "/v1/audio/transcriptions");
        QVERIFY(m_provider->requests().first().body.contains(audio));
    }
};

QTEST_GUILESS_MAIN(ServerProxyTest)
#include "tst_serverproxy.moc"
