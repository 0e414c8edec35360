// pindle-server's HTTP edge as strangers and browsers meet it: requests too large to read, more
// connections than it takes, descriptors running out, TLS clients that never finish their
// handshake, sign-ups and account forms posted from other sites, the account pages' session
// cookie, and the header fields that keep browsers from sniffing, framing, caching or leaking its
// pages.

#include "ServerProcess.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

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
        const QByteArrayList all = fields(name);
        return all.isEmpty() ? QByteArray() : all.first();
    }
    [[nodiscard]] QByteArrayList fields(const QByteArray &name) const {
        QByteArrayList values;
        for (const QByteArray &line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
                values << line.mid(colon + 1).trimmed();
        }
        return values;
    }
};

// A request as written by hand, asking the server to close the connection after its answer.
QByteArray request(const QByteArray &method, const QByteArray &target,
                   const QByteArrayList &fields = {}, const QByteArray &body = {},
                   const QByteArray &host = "127.0.0.1") {
    QByteArray head =
        method + ' ' + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n";
    for (const QByteArray &field : fields)
        head += field + "\r\n";
    if (method == "POST")
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return head + "\r\n" + body;
}

// A new connection to `port`, once the answer to a /healthz asked on it has begun to arrive.
std::unique_ptr<QTcpSocket> askOnNewConnection(quint16 port) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(10000))
        return socket;
    socket->write("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    while (socket->bytesAvailable() == 0 && socket->waitForReadyRead(10000)) {
    }
    return socket;
}

// What is wrong with the header fields of one of the server's own pages, if anything: each must
// name its style sheet by hash, run and load nothing else, be framed nowhere, never be cached, and
// send its origin with its forms (a page under "no-referrer" posts them with "Origin: null").
QByteArray pageFieldsProblem(const Raw &page) {
    const qsizetype styleAt = page.body.indexOf("<style>") + 7;
    const QByteArray style = page.body.mid(styleAt, page.body.indexOf("</style>") - styleAt);
    const QByteArray policy =
        "default-src 'none'; style-src 'sha256-" +
        QCryptographicHash::hash(style, QCryptographicHash::Sha256).toBase64() +
        "'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";
    for (const auto &[name, value] :
         {std::pair<QByteArray, QByteArray>{"Content-Type", "text/html; charset=utf-8"},
          {"Content-Security-Policy", policy},
          {"Cache-Control", "no-store"},
          {"Referrer-Policy", "same-origin"},
          {"X-Frame-Options", "DENY"},
          {"X-Content-Type-Options", "nosniff"}}) {
        if (page.fields(name) != QByteArrayList{value})
            return page.head + "\n: " + name + " is not " + value;
    }
    return {};
}

// A browser on the server's own pages: it keeps the cookies it is given and sends them back, and
// posts forms with the token its page carries. Every page it gets must carry the pages' fields.
class Browser {
public:
    // `own` is the origin the browser sees the server at; `fields` go with each request (what a
    // proxy in front adds).
    Browser(ServerProcess &server, QByteArray own, QByteArrayList fields = {})
        : m_server(server)
        , m_own(std::move(own))
        , m_fields(std::move(fields)) {}

    Raw get(const QByteArray &path) { return send("GET", path, m_fields); }

    // Posts `form` as sent from `origin` ("OWN": the page's own) with the form token `token`
    // ("PAGE": the one its page carries).
    Raw post(const QByteArray &path, const QByteArray &form, QByteArray origin = "OWN",
             QByteArray token = "PAGE") {
        if (!m_cookies.contains("pindle-csrf") && !m_cookies.contains("__Host-pindle-csrf"))
            get("/account");
        const QByteArray page = m_cookies.value("pindle-csrf", m_cookies["__Host-pindle-csrf"]);
        QByteArrayList fields = m_fields;
        fields << "Content-Type: application/x-www-form-urlencoded";
        if (!origin.isEmpty())
            fields << "Origin: " + origin.replace("OWN", m_own);
        return send("POST", path, fields, form + "&csrf=" + token.replace("PAGE", page));
    }

    [[nodiscard]] QByteArray cookie(const QByteArray &name) const { return m_cookies.value(name); }
    void setCookie(const QByteArray &name, const QByteArray &value) { m_cookies[name] = value; }
    /// The Set-Cookie values of the last answer.
    [[nodiscard]] const QByteArrayList &lastSet() const { return m_lastSet; }
    /// What was wrong with the pages so far.
    QByteArrayList problems;

private:
    Raw send(const QByteArray &method, const QByteArray &path, QByteArrayList fields,
             const QByteArray &body = {}) {
        QByteArrayList pairs;
        for (auto cookie = m_cookies.cbegin(); cookie != m_cookies.cend(); ++cookie)
            pairs << cookie.key() + '=' + cookie.value();
        if (!pairs.isEmpty())
            fields << "Cookie: " + pairs.join("; ");
        const Raw answer(m_server.exchange(request(
            method, path, fields, body, "127.0.0.1:" + QByteArray::number(m_server.url().port()))));
        if (const QByteArray problem = pageFieldsProblem(answer); !problem.isEmpty())
            problems << method + ' ' + path + ": " + problem;
        m_lastSet = answer.fields("Set-Cookie");
        for (const QByteArray &set : m_lastSet) {
            const QByteArray pair = set.left(set.indexOf(';'));
            const QByteArray name = pair.left(pair.indexOf('='));
            if (set.contains("; Max-Age=0"))
                m_cookies.remove(name);
            else
                m_cookies[name] = pair.mid(name.size() + 1);
        }
        return answer;
    }

    ServerProcess &m_server;
    QByteArray m_own;
    QByteArrayList m_fields;
    QMap<QByteArray, QByteArray> m_cookies;
    QByteArrayList m_lastSet;
};

const QRegularExpression FormTokenShape(QStringLiteral("^[0-9a-f]{64}$"));

const QByteArray chatHead = "POST /api/chat HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                            "Content-Type: application/json\r\nContent-Length: ";
const QByteArray signupForm = "name=Ada&email=ada%40example.org&password=analytical%21";
const QByteArray signupJson =
    R"({"email":"ada@example.org","name":"Ada","password":"analytical!"})";

} // namespace

class ServerHttpTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ServerProcess> m_server;

    [[nodiscard]] quint16 port() const { return quint16(m_server->url().port()); }

    void restart(const QJsonObject &settings) {
        m_server = std::make_unique<ServerProcess>(settings);
        QVERIFY2(m_server->running(), m_server->log().constData());
    }

    bool signedIn(const QByteArray &email, const QByteArray &password) {
        return m_server
                   ->call("POST", "/api/auth/login",
                          "{\"email\":\"" + email + "\",\"password\":\"" + password + "\"}")
                   .status == 200;
    }

    // `count` connections, each left open once connected.
    std::vector<std::unique_ptr<QTcpSocket>> connections(size_t count, const QByteArray &sent) {
        std::vector<std::unique_ptr<QTcpSocket>> held;
        while (held.size() < count) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->connectToHost(QHostAddress::LocalHost, port());
            if (!held.back()->waitForConnected(10000))
                return {};
            if (!sent.isEmpty() &&
                (held.back()->write(sent) < 0 || !held.back()->waitForBytesWritten(10000)))
                return {};
        }
        return held;
    }

private Q_SLOTS:
    void init() { restart({}); }

    void cleanup() { endTestServer(m_server); }

    void routesAndBadInput_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown route") << QByteArray("GET") << "/api/nope" << QByteArray() << 404
                                       << "There is nothing at /api/nope.";
        QTest::newRow("wrong method")
            << QByteArray("GET") << "/api/chat" << QByteArray() << 405 << "Use POST for /api/chat.";
        QTest::newRow("login wrong types")
            << QByteArray("POST") << "/api/auth/login" << QByteArray(R"({"email":1,"password":[]})")
            << 400 << R"(Send a JSON object with "email" and "password".)";
        QTest::newRow("chat without a session")
            << QByteArray("POST") << "/api/chat" << QByteArray(R"({"model":"m"})") << 401
            << "Session expired. Please sign in again.";
    }

    void routesAndBadInput() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, error);
        const ServerProcess::Answer answer = m_server->call(method, path, body);
        QCOMPARE(answer.status, status);
        QCOMPARE(answer.json()["error"].toString(), error);
    }

    void requestsTooLarge_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("holding"); // connections that first declare 16 MiB and send none
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("error");
        const auto fields = [](int count, int size) {
            QByteArrayList fields;
            for (int i = 0; i < count; ++i)
                fields << "X-Field-" + QByteArray::number(i) + ": " + QByteArray(size, 'v');
            return fields;
        };
        const auto row = [](const char *name, const QByteArray &request, int status = 413,
                            const char *error = "The request is too large (at most 8 KiB).",
                            int holding = 0) {
            QTest::newRow(name) << request << holding << status << QByteArray(error);
        };
        // Past a limit the server says so and closes, rather than dropping the connection mute.
        const char *head = "The request's header is too large (at most 100 fields, 8 KiB for the "
                           "address and for each field, and 32 KiB in all).";
        row("a long address", request("GET", "/healthz?q=" + QByteArray(9000, 'q')), 431, head);
        row("a long field", request("GET", "/healthz", fields(1, 9000)), 431, head);
        row("too many fields", request("GET", "/healthz", fields(101, 1)), 431, head);
        row("too much in all", request("GET", "/healthz", fields(5, 7000)), 431, head);
        // The client spells each byte of a prompt of up to 16 KiB as %XX.
        const QByteArray prompt = "X-Pindle-System-Prompt: ";
        row("the longest system prompt",
            request("GET", "/healthz",
                    fields(20, 1000) << prompt + QByteArray("%41").repeated(16384)),
            200, R"({"status":"ok"})");
        row("a longer system prompt",
            request("GET", "/healthz", {prompt + QByteArray(48 * 1024 + 1, 'a')}), 431, head);
        // The body is read and dropped, so a client that sends it all first still gets the
        // answer; one declared far too long is answered at once, before it arrives.
        row("a long field, then a body",
            request("POST", "/api/auth/login", fields(1, 9000), signupJson), 431, head);
        const QByteArray login = "POST /api/auth/login HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        row("declared length",
            login + "Content-Length: 11000000\r\n\r\n" + QByteArray(11000000, 'x'));
        row("declared far too long", login + "Content-Length: 100000000\r\n\r\n");
        row("unknown route", "POST /api/nope HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                             "1048576\r\n\r\n" +
                                 QByteArray(1048576, 'x'));
        // A chunk that declares 64 KiB, sent as far as one byte past the sign-in limit (8 KiB).
        row("chunked",
            login + "Transfer-Encoding: chunked\r\n\r\n10000\r\n" + QByteArray(8 * 1024 + 1, 'a'));
        // Large bodies being received share a budget: strangers cannot fill the memory with them.
        row("while others are received", chatHead + "100000\r\n\r\n" + QByteArray(100000, ' '), 503,
            "The server is busy receiving other uploads. Try again in a moment.", 8);
    }

    void requestsTooLarge() {
        QFETCH(QByteArray, request);
        QFETCH(int, holding);
        QFETCH(int, status);
        QFETCH(QByteArray, error);
        const auto held = connections(size_t(holding), chatHead + "16777216\r\n\r\n{");
        QCOMPARE(int(held.size()), holding);
        // Once the server has read the heads of those held.
        QByteArray received;
        QTRY_VERIFY2_WITH_TIMEOUT(Raw(received = m_server->exchange(request)).status() == status,
                                  received.constData(), 20000);
        const Raw answer(received);
        if (status != 200) {
            QCOMPARE(answer.field("Connection"), "close");
            error = "{\"error\":\"" + error + "\"}";
        }
        QVERIFY2(answer.body.endsWith(error), received.constData());
        QCOMPARE(m_server->call("GET", "/healthz").status, 200);
    }

    // More requests than are handled at once, written together on one connection.
    void pipelinedRequestsAreAllAnswered() {
        const int count = 40;
        const QByteArray health = "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        const QByteArray answers =
            m_server->exchange(health.repeated(count), count, R"({"status":"ok"})");
        QCOMPARE(answers.count("HTTP/1.1 200 OK\r\n"), count);
        QCOMPARE(answers.count(R"({"status":"ok"})"), count);
    }

    void capsTurnConnectionsAway_data() {
        QTest::addColumn<QString>("setting");
        QTest::newRow("in total") << "max_connections";
        QTest::newRow("per address") << "max_connections_per_address";
    }

    // Connections over a cap get a 503 at once; the place is free again when one closes.
    void capsTurnConnectionsAway() {
        QFETCH(QString, setting);
        restart({{setting, 3}});
        std::vector<std::unique_ptr<QTcpSocket>> held; // the test's own client may hold one more
        QByteArray answer;
        while (held.size() < 8) {
            held.push_back(askOnNewConnection(port()));
            answer = held.back()->readAll();
            if (!answer.startsWith("HTTP/1.1 200"))
                break;
        }
        QVERIFY2(answer.startsWith("HTTP/1.1 503") && answer.contains("\"error\""),
                 answer.constData());
        QVERIFY(held.size() <= 3);
        QVERIFY(held.back()->waitForDisconnected(10000) ||
                held.back()->state() == QAbstractSocket::UnconnectedState);

        // The server frees the places as it reads the closes, which a busy machine may delay.
        held.clear();
        QTRY_VERIFY_WITH_TIMEOUT(askOnNewConnection(port())->readAll().startsWith("HTTP/1.1 200"),
                                 30000);
    }

    // Past the open-file limit accept() fails; the server keeps trying and answers again once
    // connections end.
    void acceptsAgainAfterRunningOutOfFiles() {
        // UBSan's vptr check reads memory through a pipe, which it cannot open once descriptors
        // run out, and then calls sound objects bad: the server meets a closing client (its
        // first read error) while it still can, so that check is already cached.
        QCOMPARE(connections(1, {}).size(), size_t(1));
        QCOMPARE(m_server->call("GET", "/healthz").status, 200);

        const qsizetype open = m_server->openFiles();
        QVERIFY(open > 0);
        const rlimit low{rlim_t(open + 8), rlim_t(open + 8)};
        QCOMPARE(prlimit(pid_t(m_server->processId()), RLIMIT_NOFILE, &low, nullptr), 0);
        auto held = connections(24, {});
        QCOMPARE(held.size(), size_t(24));
        QTRY_VERIFY_WITH_TIMEOUT(m_server->log().contains("Too many open files"), 30000);
        held.clear();
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
            field.replace("ORIGIN", m_server->url().toString().toLatin1())
                .replace("PAGE", pageToken);
        const QByteArray body = path == "/signup"
                                    ? signupForm + "&csrf=" + token.replace("PAGE", pageToken)
                                    : signupJson;
        const Raw answer(m_server->exchange(
            request("POST", path, fields, body, "127.0.0.1:" + QByteArray::number(port()))));
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

    // The account of these tests, made by the operator, with a client signed in to it; returns
    // the client's session.
    // Her name is markup: every page must show it as text.
    QString adaWithClient() {
        const auto made = m_server->command(
            {"user", "create", "ada@example.org", "Ada <b>&amp;</b> \"co\"", "1000"},
            "analytical!\n");
        if (made.first != 0)
            qWarning("%s", made.second.constData());
        return m_server
            ->call("POST", "/api/auth/login",
                   R"({"email":"ada@example.org","password":"analytical!"})")
            .json()["token"]
            .toString();
    }

    [[nodiscard]] QByteArray ownOrigin() const { return m_server->url().toString().toLatin1(); }

    void accountForms_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<QByteArray>("origin"); // "OWN" for the page's own
        QTest::addColumn<QByteArray>("token");  // "PAGE" for the one its page carries
        // Once the form is taken: whether the browser and the client are still (or now) signed
        // in, and whether the password is still the one before.
        QTest::addColumn<bool>("browserAfter");
        QTest::addColumn<bool>("clientAfter");
        QTest::addColumn<bool>("passwordAfter");
        // Each form refused once, from another site or with another token; the new password,
        // which needs the most care, both ways.
        const auto rows = [](const QByteArray &name, const char *path, const char *form,
                             bool browser, bool client, bool password, QByteArrayList refusals) {
            QTest::newRow(QByteArray(name + " from the page").constData())
                << QByteArray(path) << QByteArray(form) << QByteArray("OWN") << QByteArray("PAGE")
                << browser << client << password;
            if (refusals.contains("site"))
                QTest::newRow(QByteArray(name + " from another site").constData())
                    << QByteArray(path) << QByteArray(form) << QByteArray("https://evil.example")
                    << QByteArray("PAGE") << false << false << false;
            if (refusals.contains("token"))
                QTest::newRow(QByteArray(name + " with another token").constData())
                    << QByteArray(path) << QByteArray(form) << QByteArray("OWN")
                    << QByteArray(64, 'a') << false << false << false;
        };
        rows("sign-in", "/account/signin", "email=Ada%40example.org&password=analytical%21", true,
             true, true, {"site"});
        rows("sign-out", "/account/signout", "", false, true, true, {"token"});
        // The browser's own session stays; the client must sign in again.
        rows("new password", "/account/password",
             "current=analytical%21&new=difference%21&again=difference%21", true, false, false,
             {"site", "token"});
        rows("sign-out everywhere", "/account/signout-everywhere", "", false, false, true,
             {"site"});
        rows("deletion", "/account/delete", "confirm=+ADA%40example.org", false, false, false,
             {"token"});
    }

    // Another site can make a browser post the account forms, with its cookies; only the
    // server's own pages change anything. Every page comes with the pages' header fields.
    void accountForms() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, form);
        QFETCH(QByteArray, origin);
        QFETCH(QByteArray, token);
        QFETCH(bool, browserAfter);
        QFETCH(bool, clientAfter);
        QFETCH(bool, passwordAfter);
        const QString client = adaWithClient();
        Browser browser(*m_server, ownOrigin());
        const bool signingIn = path == "/account/signin";
        if (!signingIn)
            QCOMPARE(
                browser.post("/account/signin", "email=ada%40example.org&password=analytical%21")
                    .status(),
                200);
        const Raw answer = browser.post(path, form, origin, token);
        const bool taken = origin == "OWN" && token == "PAGE";
        QVERIFY2(answer.status() == (taken ? 200 : 403), answer.body.constData());
        if (!taken) { // as it was
            browserAfter = !signingIn;
            clientAfter = passwordAfter = true;
            QVERIFY(answer.body.contains(
                "This form has expired or was sent from another website. Reload the page"));
        }
        QCOMPARE(browser.get("/account").body.contains("<h1>Your Pindle account</h1>"),
                 browserAfter);
        QCOMPARE(m_server->call("GET", "/api/auth/me", {}, ServerProcess::bearer(client)).status,
                 clientAfter ? 200 : 401);
        QCOMPARE(signedIn("ada@example.org", "analytical!"), passwordAfter);
        QVERIFY2(browser.problems.isEmpty(), browser.problems.join('\n').constData());
    }

    void accountFormsRefuseBadInput_data() {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("sign-in without a password")
            << QByteArray("/account/signin") << QByteArray("email=ada%40example.org&password=")
            << 400 << QByteArray("Please enter your e-mail address and password.");
        QTest::newRow("new passwords that differ")
            << QByteArray("/account/password")
            << QByteArray("current=analytical%21&new=difference%21&again=difference%3F") << 400
            << QByteArray("The new passwords do not match.");
        QTest::newRow("a short new password")
            << QByteArray("/account/password")
            << QByteArray("current=analytical%21&new=short&again=short") << 400
            << QByteArray("The password must be at least 8 characters long.");
        QTest::newRow("another address to delete")
            << QByteArray("/account/delete") << QByteArray("confirm=bob%40example.org") << 400
            << QByteArray("type its e-mail address, ada@example.org, in the box. Nothing was "
                          "deleted.");
    }

    // A refusal says why above its form; nothing changes.
    void accountFormsRefuseBadInput() {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, form);
        QFETCH(int, status);
        QFETCH(QByteArray, error);
        const QString client = adaWithClient();
        Browser browser(*m_server, ownOrigin());
        QCOMPARE(browser.post("/account/signin", "email=ada%40example.org&password=analytical%21")
                     .status(),
                 200);
        const Raw answer = browser.post(path, form);
        QCOMPARE(answer.status(), status);
        QVERIFY2(answer.body.contains("<p class=\"error\" role=\"alert\">") &&
                     answer.body.contains(error),
                 answer.body.constData());
        QCOMPARE(m_server->call("GET", "/api/auth/me", {}, ServerProcess::bearer(client)).status,
                 200);
        QVERIFY(signedIn("ada@example.org", "analytical!"));
        QVERIFY2(browser.problems.isEmpty(), browser.problems.join('\n').constData());
    }

    void sessionCookie_data() {
        QTest::addColumn<bool>("proxied"); // the server trusts the proxy in front
        QTest::addColumn<QByteArrayList>("fields");
        QTest::addColumn<QByteArray>("own");  // the origin the browser sees; "HERE": the server's
        QTest::addColumn<QByteArray>("name"); // of the session's cookie
        const QByteArrayList https = {"X-Forwarded-Proto: https",
                                      "X-Forwarded-Host: pindle.example"};
        QTest::newRow("http") << false << QByteArrayList() << QByteArray("HERE")
                              << QByteArray("pindle-session");
        QTest::newRow("https through a trusted proxy")
            << true << https << QByteArray("https://pindle.example")
            << QByteArray("__Host-pindle-session");
        QTest::newRow("https claimed by a stranger")
            << false << https << QByteArray("HERE") << QByteArray("pindle-session");
    }

    // The browser's session: a cookie no script can read, sent back only from this site's own
    // pages, kept to this host and to https where the page is https; signing out ends the
    // session itself, not only its cookie.
    void sessionCookie() {
        QFETCH(bool, proxied);
        QFETCH(QByteArrayList, fields);
        QFETCH(QByteArray, own);
        QFETCH(QByteArray, name);
        if (proxied)
            restart({{"trusted_proxies", QJsonArray{"127.0.0.1"}}});
        adaWithClient();
        Browser browser(*m_server, own.replace("HERE", ownOrigin()), fields);
        const Raw page =
            browser.post("/account/signin", "email=ada%40example.org&password=analytical%21");
        QCOMPARE(page.status(), 200);
        QVERIFY2(page.body.contains("Ada &lt;b&gt;&amp;amp;&lt;/b&gt; &quot;co&quot;"),
                 page.body.constData());
        const QByteArray secure = name.startsWith("__Host-") ? "; Secure" : "";
        const QByteArray attributes = secure + "; Path=/; HttpOnly; SameSite=Strict";
        const QByteArray token = browser.cookie(name);
        QVERIFY(FormTokenShape.match(QString::fromLatin1(token)).hasMatch());
        QVERIFY2(browser.lastSet().contains(name + '=' + token + attributes +
                                            "; Max-Age=" + QByteArray::number(30 * 24 * 3600)),
                 browser.lastSet().join('\n').constData());
        // Under the other name the token signs nobody in.
        const QByteArray other = secure.isEmpty() ? "__Host-pindle-session" : "pindle-session";
        Browser planted(*m_server, ownOrigin(), fields);
        planted.setCookie(other, token);
        QVERIFY(planted.get("/account").body.contains("<h1>Sign in to your account</h1>"));

        const Raw out = browser.post("/account/signout", {});
        QVERIFY(out.body.contains("You are signed out."));
        QVERIFY(browser.lastSet().contains(name + '=' + attributes + "; Max-Age=0"));
        browser.setCookie(name, token);
        QVERIFY(browser.get("/account").body.contains("<h1>Sign in to your account</h1>"));
        QVERIFY2(browser.problems.isEmpty(), browser.problems.join('\n').constData());
    }

    // Wrong passwords count the same wherever they are typed: in the client, on the account
    // page's sign-in, and as the current password of a new one.
    void signInLimitsAreShared() {
        adaWithClient();
        Browser browser(*m_server, ownOrigin());
        const QByteArray right = "email=ada%40example.org&password=analytical%21";
        const QByteArray wrong = "email=ada%40example.org&password=guessed";
        QCOMPARE(browser.post("/account/signin", right).status(), 200); // clears the count
        QCOMPARE(browser
                     .post("/account/password", "current=guessed&new=difference%21&again="
                                                "difference%21")
                     .status(),
                 401);
        QVERIFY(!signedIn("ada@example.org", "guessed"));
        QVERIFY(!signedIn("ada@example.org", "guessed"));
        Browser stranger(*m_server, ownOrigin());
        QCOMPARE(stranger.post("/account/signin", wrong).status(), 401);
        QCOMPARE(stranger.post("/account/signin", wrong).status(), 401);

        // Five wrong from this address: the right password is held back everywhere.
        const ServerProcess::Answer client = m_server->call(
            "POST", "/api/auth/login", R"({"email":"ada@example.org","password":"analytical!"})");
        QCOMPARE(client.status, 429);
        const Raw page = stranger.post("/account/signin", right);
        QCOMPARE(page.status(), 429);
        QVERIFY(page.body.contains("Too many failed sign-ins. Try again in 15 minutes."));
        QCOMPARE(browser
                     .post("/account/password", "current=analytical%21&new=difference%21&again="
                                                "difference%21")
                     .status(),
                 429);
        QVERIFY2(browser.problems.isEmpty(), browser.problems.join('\n').constData());
        QVERIFY2(stranger.problems.isEmpty(), stranger.problems.join('\n').constData());
    }

    // The server speaks TLS itself. A TLS client must finish its handshake within seconds:
    // silent or drip-fed clients no longer hold their places, nor keep proper clients out.
    void tlsClientsMustFinishTheirHandshake() {
        QTemporaryDir dir;
        QJsonObject settings = ServerProcess::selfSignedTls(dir.path());
        QVERIFY(!settings.isEmpty());
        // A half-configured TLS setup is refused before the server starts.
        const ServerProcess broken(QJsonObject{{"tls_certificate", settings["tls_certificate"]}});
        QVERIFY(!broken.running());
        QVERIFY(broken.log().contains(
            "\"tls_certificate\" and \"tls_private_key\" must be given together"));
        settings.insert("max_connections_per_address", 12);
        restart(settings);
        QCOMPARE(m_server->command({"check-config"}).first, 0);

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
        const auto silent = connections(12, {});
        QCOMPARE(silent.size(), size_t(12));
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
