// pindle-server's HTTP edge as strangers and browsers meet it: TLS clients that never finish their
// handshake, heads too large to read, sign-ups posted from other sites, and the header fields that
// keep browsers from sniffing, framing or leaking its pages.

#include "ServerProcess.h"

#include <QCryptographicHash>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

// An answer read off the wire.
struct Raw {
    explicit Raw(const QByteArray &received)
        : head(received.left(received.indexOf("\r\n\r\n")))
        , body(received.mid(head.size() + 4)) {}
    QByteArray head;
    QByteArray body;

    [[nodiscard]] int status() const { return head.mid(9, 3).toInt(); }
    [[nodiscard]] QByteArray field(const QByteArray &name) const {
        for (const QByteArray &line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
};

const QByteArray signupForm = "name=Ada&email=ada%40example.org&password=analytical%21";
const QByteArray signupJson =
    R"({"email":"ada@example.org","name":"Ada","password":"analytical!"})";

} // namespace

class ServerHttpTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ServerProcess> m_server;

    [[nodiscard]] quint16 port() const { return quint16(m_server->url().port()); }
    [[nodiscard]] QByteArray origin() const { return m_server->url().toString().toLatin1(); }

    // A request as written by hand, asking the server to close the connection after its answer.
    QByteArray request(const QByteArray &method, const QByteArray &target,
                       const QByteArrayList &fields = {}, const QByteArray &body = {}) const {
        QByteArray head = method + ' ' + target +
                          " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port()) +
                          "\r\nConnection: close\r\n";
        for (const QByteArray &field : fields)
            head += field + "\r\n";
        if (method == "POST")
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        return head + "\r\n" + body;
    }

    bool signedIn(const QByteArray &email, const QByteArray &password) {
        return m_server
                   ->call("POST", "/api/auth/login",
                          "{\"email\":\"" + email + "\",\"password\":\"" + password + "\"}")
                   .status == 200;
    }

private Q_SLOTS:
    void init() {
        m_server = std::make_unique<ServerProcess>(QJsonObject{});
        QVERIFY2(m_server->running(), m_server->log().constData());
    }

    void cleanup() { endTestServer(m_server); }

    void headsTooLarge_data() {
        QTest::addColumn<QByteArray>("target"); // posted to under /api
        QTest::addColumn<QByteArrayList>("fields");
        QTest::addColumn<int>("status");
        const auto fields = [](int count, int size) {
            QByteArrayList fields;
            for (int i = 0; i < count; ++i)
                fields << "X-Field-" + QByteArray::number(i) + ": " + QByteArray(size, 'v');
            return fields;
        };
        const auto row = [](const char *name, const QByteArrayList &fields, int status = 431,
                            const QByteArray &target = "/healthz") {
            QTest::newRow(name) << target << fields << status;
        };
        row("a long address", {}, 431, "/healthz?q=" + QByteArray(9000, 'q'));
        row("a long field", fields(1, 9000));
        row("too many fields", fields(101, 1));
        row("too much in all", fields(5, 7000));
        // The body that follows is read and dropped, so the answer is not lost in a reset.
        row("a long field, then a body", fields(1, 9000), 431, "/api/auth/login");
        // The client spells each byte of a prompt of up to 16 KiB as %XX.
        const QByteArray prompt = "X-Pindle-System-Prompt: ";
        row("the longest system prompt",
            fields(20, 1000) << prompt + QByteArray("%41").repeated(16384), 200);
        row("a longer system prompt", {prompt + QByteArray(48 * 1024 + 1, 'a')});
    }

    // Past a limit the server says so and closes, rather than dropping the connection mute.
    void headsTooLarge() {
        QFETCH(QByteArray, target);
        QFETCH(QByteArrayList, fields);
        QFETCH(int, status);
        const bool post = target.startsWith("/api");
        const Raw answer(m_server->exchange(
            request(post ? "POST" : "GET", target, fields, post ? signupJson : "")));
        QCOMPARE(answer.status(), status);
        if (status == 431)
            QCOMPARE(answer.field("Connection"), "close");
        QCOMPARE(m_server->call("GET", "/healthz").status, 200);
    }

    void browserSignUps_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArrayList>("fields"); // "ORIGIN" stands for the server's own
        QTest::addColumn<QByteArray>("token");      // in the form, with the page's cookie
        QTest::addColumn<int>("status");
        const QByteArray form = "Content-Type: application/x-www-form-urlencoded";
        const QByteArray cookie = "Cookie: theme=dark; pindle-csrf=PAGE";
        const auto row = [](const char *name, const QByteArrayList &fields, int status,
                            const char *token = "PAGE", const char *path = "/signup") {
            QTest::newRow(name) << QByteArray(path) << fields << QByteArray(token) << status;
        };
        row("form from the page", {form, cookie, "Origin: ORIGIN"}, 201);
        row("form from the page, named by its referer", {form, cookie, "Referer: ORIGIN/signup"},
            201);
        row("form from another site", {form, cookie, "Origin: https://evil.example"}, 403);
        row("form from another port", {form, cookie, "Origin: http://127.0.0.1:1"}, 403);
        row("form from an opaque origin", {form, cookie, "Origin: null", "Referer: ORIGIN/"}, 403);
        row("form from nowhere", {form, cookie}, 403);
        row("form without the cookie", {form, "Origin: ORIGIN"}, 403);
        row("form with another token", {form, cookie, "Origin: ORIGIN"}, 403,
            "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
        const char *json = "/api/auth/signup";
        row("JSON from a program", {"Content-Type: application/json; charset=utf-8"}, 201, "",
            json);
        row("JSON from another site",
            {"Content-Type: application/json", "Origin: https://evil.example"}, 403, "", json);
        row("JSON as plain text", {"Content-Type: text/plain"}, 415, "", json);
    }

    // Another site can make a browser post to this server, with the user's cookies; only the
    // server's own page and programs that send JSON create accounts.
    void browserSignUps() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArrayList, fields);
        QFETCH(QByteArray, token);
        QFETCH(int, status);
        const Raw page(m_server->exchange(request("GET", "/signup")));
        const QByteArray pageToken = QRegularExpression(R"re(name="csrf" value="([0-9a-f]{64})")re")
                                         .match(QString::fromLatin1(page.body))
                                         .captured(1)
                                         .toLatin1();
        QCOMPARE(page.field("Set-Cookie"),
                 "pindle-csrf=" + pageToken + "; Path=/; HttpOnly; SameSite=Strict");
        for (QByteArray &field : fields)
            field.replace("ORIGIN", origin()).replace("PAGE", pageToken);
        const QByteArray body = path == "/signup"
                                    ? signupForm + "&csrf=" + token.replace("PAGE", pageToken)
                                    : signupJson;
        const Raw answer(m_server->exchange(request("POST", path, fields, body)));
        QVERIFY2(answer.status() == status, answer.body.constData());
        QCOMPARE(signedIn("ada@example.org", "analytical!"), status == 201);
    }

    // The page runs no script, loads nothing, is framed nowhere, and names its one style sheet by
    // its hash; no answer may be sniffed or framed.
    void securityHeaders() {
        const Raw page(m_server->exchange(request("GET", "/signup")));
        const qsizetype styleAt = page.body.indexOf("<style>") + 7;
        const QByteArray style = page.body.mid(styleAt, page.body.indexOf("</style>") - styleAt);
        QCOMPARE(page.field("Content-Security-Policy"),
                 "default-src 'none'; style-src 'sha256-" +
                     QCryptographicHash::hash(style, QCryptographicHash::Sha256).toBase64() +
                     "'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
        // A page under "no-referrer" posts its form with "Origin: null".
        QCOMPARE(page.field("Referrer-Policy"), "same-origin");
        const Raw json(m_server->exchange(request("GET", "/api/nope")));
        QCOMPARE(json.field("Referrer-Policy"), "no-referrer");
        for (const Raw &answer : {page, json}) {
            QCOMPARE(answer.field("X-Content-Type-Options"), "nosniff");
            QCOMPARE(answer.field("X-Frame-Options"), "DENY");
            QVERIFY(answer.field("Strict-Transport-Security").isEmpty()); // plain HTTP
        }
    }

    // A TLS client must finish its handshake within seconds: silent or drip-fed clients no longer
    // hold their places, nor keep proper clients out.
    void tlsClientsMustFinishTheirHandshake() {
        QTemporaryDir dir;
        QJsonObject settings = ServerProcess::selfSignedTls(dir.path());
        QVERIFY(!settings.isEmpty());
        settings.insert("max_connections_per_address", 12);
        m_server = std::make_unique<ServerProcess>(settings);
        QVERIFY2(m_server->running(), m_server->log().constData());

        // Under TLS every answer asks browsers to keep to it, and the form's cookie is kept to
        // this host.
        const std::unique_ptr<QNetworkReply> health = m_server->send("GET", "/healthz");
        QSignalSpy finished(health.get(), &QNetworkReply::finished);
        QVERIFY(health->isFinished() || finished.wait(60000));
        QCOMPARE(health->rawHeader("Strict-Transport-Security"), "max-age=31536000");
        QCOMPARE(m_server->postSignupForm(signupForm).status, 201);
        const qsizetype baseline = m_server->openFiles();

        const auto handshakes = [&] {
            QSslSocket client;
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setCaCertificates(
                QSslCertificate::fromPath(settings["tls_certificate"].toString()));
            client.setSslConfiguration(tls);
            client.connectToHostEncrypted("127.0.0.1", port());
            return client.waitForEncrypted(20000);
        };
        // A ClientHello that declares 512 bytes, of which a few come each second.
        const QByteArray hello =
            QByteArray::fromHex("1603010200010001fc0303") + QByteArray(500, 'r');
        QTcpSocket dripping;
        dripping.connectToHost(QHostAddress::LocalHost, port());
        QVERIFY(dripping.waitForConnected(10000));
        qsizetype dripped = 0;
        QTimer drip;
        connect(&drip, &QTimer::timeout, [&] {
            dripping.write(hello.mid(dripped, 3));
            dripped += 3;
        });
        drip.start(1000);
        std::vector<std::unique_ptr<QTcpSocket>> silent;
        while (silent.size() < 12) {
            silent.push_back(std::make_unique<QTcpSocket>());
            silent.back()->connectToHost(QHostAddress::LocalHost, port());
            QVERIFY(silent.back()->waitForConnected(10000));
        }
        QVERIFY(!handshakes());

        const auto closed = [](const QTcpSocket &socket) {
            return socket.state() == QAbstractSocket::UnconnectedState;
        };
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(silent.begin(), silent.end(),
                                             [&](const auto &socket) { return closed(*socket); }),
                                 60000);
        QTRY_VERIFY_WITH_TIMEOUT(closed(dripping), 60000);
        QVERIFY(dripped < hello.size());
        QVERIFY(handshakes());
        QTRY_VERIFY_WITH_TIMEOUT(m_server->openFiles() <= baseline, 30000);
        QVERIFY(signedIn("ada@example.org", "analytical!"));
    }
};

QTEST_GUILESS_MAIN(ServerHttpTest)
#include "tst_serverhttp.moc"
