// pindle-server end to end: the real program over HTTP, with a fake model provider on loopback,
// and the client's own services talking to it. What the chat handler and its relay decide is
// tested without HTTP in tst_serverchat; this suite keeps what only a running server shows.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"
#include "ServerProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

namespace {

const QByteArray question =
    R"({"model":"gpt-4.1","category":"exams","messages":[{"role":"user","content":"Hi"}],)"
    R"("temperature":0.1,"max_tokens":2048,"stream":true})";

// A chat's head, up to the length its body declares.
const QByteArray chatHead = "POST /api/chat HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                            "Content-Type: application/json\r\nContent-Length: ";

// Event lines as providers send them, with a blank line after each.
QByteArray chunk(const QString &text) {
    return deltaLine(text) + '\n';
}

// Asks for /healthz on a new connection, which stays open, once the answer has begun to arrive.
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

} // namespace

class PindleServerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeBackend> m_provider;
    std::unique_ptr<ServerProcess> m_server;

    ServerProcess::Answer chat(const QString &token, const QByteArray &body) {
        return m_server->call("POST", "/api/chat", body, ServerProcess::bearer(token));
    }

    // A streamed question left open, for tests that end it from one side or the other.
    std::unique_ptr<QNetworkReply> openStream(const QString &token) {
        return m_server->send("POST", "/api/chat", question, ServerProcess::bearer(token));
    }

private Q_SLOTS:
    void init() {
        m_provider = std::make_unique<FakeBackend>();
        QJsonObject settings = ServerProcess::forwardingTo(m_provider->url());
        // A key with no telltale shape: only the server's knowledge of it keeps it out of sight.
        settings.insert("provider_api_key", "hunter2hunter2");
        settings.insert("signup_balance", 50000);
        settings.insert("max_upload_bytes", 64 * 1024);
        m_server = std::make_unique<ServerProcess>(settings);
        QVERIFY2(m_server->running(), m_server->log().constData());
    }

    void cleanup() {
        endTestServer(m_server);
        m_provider.reset();
    }

    void routesAndBadInput_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("member"); // of the JSON answer
        const auto row = [](const char *name, const QByteArray &method, const QString &path,
                            const QByteArray &body, int status, const char *member = "error") {
            QTest::newRow(name) << method << path << body << status << QString(member);
        };
        row("unknown route", "GET", "/api/nope", {}, 404);
        row("wrong method", "GET", "/api/chat", {}, 405);
        row("login wrong types", "POST", "/api/auth/login", R"({"email":1,"password":[]})", 400);
        row("chat without a session", "POST", "/api/chat", question, 401);
        row("sign-up from a program", "POST", "/api/auth/signup",
            R"({"email":"j@example.org","name":"J","password":"12345678"})", 201, "token");
    }

    void routesAndBadInput() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, member);
        const ServerProcess::Answer answer = m_server->call(method, path, body);
        QCOMPARE(answer.status, status);
        QVERIFY2(answer.json().contains(member), answer.body.constData());
    }

    void balanceCommands_data() {
        QTest::addColumn<QStringList>("arguments"); // of "user", for an account given 1000
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<qint64>("balance"); // listed afterwards
        const QString email = "c@example.org";
        const auto row = [](const char *name, const QStringList &arguments, const QString &said,
                            int status = 2, qint64 balance = 1000) {
            QTest::newRow(name) << arguments << status << said << balance;
        };
        row("set", {"set-balance", email, "700"}, "", 0, 700);
        row("add", {"add-balance", email, "700"}, "", 0, 1700);
        row("add a negative number", {"add-balance", email, "-5"},
            "Only tokens can be added, not taken away: use set-balance to lower a balance.");
        row("add a fraction", {"add-balance", email, "1.5"},
            "The tokens to add must be a whole number from 0 to 1000000000000000.");
        row("add past the most a balance holds", {"add-balance", email, "999999999999999"},
            "The balance of c@example.org would pass 1000000000000000 tokens, the most it may "
            "hold; nothing was added.");
        row("add to nobody", {"add-balance", "x@example.org", "5"},
            "No account has the e-mail address x@example.org.", 1);
        row("set more than a balance holds", {"set-balance", email, "1000000000000001"},
            "The balance must be a whole number of tokens from 0 to 1000000000000000.");
    }

    // The operator's balance commands: a refusal says why and changes nothing.
    void balanceCommands() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(qint64, balance);
        QCOMPARE(
            m_server->command({"user", "create", "c@example.org", "C", "1000"}, "12345678\n").first,
            0);
        const auto [code, output] = m_server->command(QStringList{"user"} + arguments);
        QCOMPARE(code, status);
        QCOMPARE(QString::fromUtf8(output.trimmed()), said);
        QCOMPARE(m_server->balanceOf("c@example.org"), balance);
    }

    // The browser's form: an account with the sign-up balance and its name as typed, in any
    // script; a refusal says why and gives back what was typed, escaped, so nothing needs typing
    // twice and nothing runs; and no more than five tries an hour from one address.
    void signUpInABrowserForm() {
        const ServerProcess::Answer page = m_server->call("GET", "/signup");
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("<form method=\"post\" action=\"/signup\">"));

        // Text that is not UTF-8 once made an account that every sign-in failed for.
        const QString notUtf8 = "Names, e-mail addresses and passwords must be valid UTF-8 text.";
        const ServerProcess::Answer form =
            m_server->postSignupForm("name=Ada%FF&email=ada%40example.org&password=analytical%21");
        QCOMPARE(form.status, 400);
        QVERIFY(form.body.contains(notUtf8.toUtf8()));
        const ServerProcess::Answer json = m_server->call(
            "POST", "/api/auth/signup",
            "{\"email\":\"ada@example.org\",\"name\":\"Ada\xc3\",\"password\":\"analytical!\"}");
        QCOMPARE(json.status, 400);
        QCOMPARE(json.json().value("error").toString(), notUtf8);

        const ServerProcess::Answer created = m_server->postSignupForm(
            "name=Ada+%C3%A9&email=ada%40example.org&password=analytical%21");
        QCOMPARE(created.status, 201);
        QVERIFY(created.body.contains("Your account ada@example.org is ready"));
        QCOMPARE(m_server->balanceOf("ada@example.org"), 50000);
        const ServerProcess::Answer login = m_server->call(
            "POST", "/api/auth/login", R"({"email":"ada@example.org","password":"analytical!"})");
        QCOMPARE(login.status, 200);
        QCOMPARE(login.json().value("user")["name"].toString(), "Ada é");

        const ServerProcess::Answer again =
            m_server->postSignupForm("name=Ada&email=ADA%40Example.org&password=analytical%21");
        QCOMPARE(again.status, 409);
        QVERIFY(again.body.contains("An account with this e-mail address already exists."));
        const ServerProcess::Answer script =
            m_server->postSignupForm("name=%3Cscript%3E&email=bad&password=analytical%21");
        QCOMPARE(script.status, 400);
        QVERIFY(script.body.contains("Please enter a valid e-mail address."));
        QVERIFY(script.body.contains("value=\"&lt;script&gt;\""));

        const ServerProcess::Answer sixth =
            m_server->postSignupForm("name=B&email=b%40example.org&password=analytical%21");
        QCOMPARE(sixth.status, 429);
        QVERIFY(sixth.body.contains("Too many new accounts from here. Try again in an hour."));
    }

    // An answer streams through as it comes and is paid from the provider's usage report; a
    // screenshot of some MiB reaches the provider whole; a refusal is passed on without the
    // provider's key, in the answer and in the log; a provider that dies mid-answer leaves the
    // client told so, paying for what came.
    void chatThroughTheServer() {
        const QString token = m_server->signedInUser("s@example.org");
        const QByteArray usage = "data: {\"choices\":[],\"usage\":{\"total_tokens\":42}}\n\n";
        const QByteArray waiting = ": waiting for the model\n\n"; // the stream's head goes first
        m_provider->enqueue(Reply::stream(
            {{chunk("Hel")}, {chunk("lo"), 20ms}, {usage + "data: [DONE]\n\n", 20ms}}));
        const ServerProcess::Answer answer = chat(token, question);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.body, waiting + chunk("Hel") + chunk("lo") + usage + "data: [DONE]\n\n");
        QCOMPARE(m_provider->requests().first().target, "/v1/chat/completions");
        QCOMPARE(m_provider->requests().first().header("Authorization"), "Bearer hunter2hunter2");
        QTRY_COMPARE(m_server->balanceOf("s@example.org"), 100000 - 42);

        const QByteArray picture =
            "data:image/jpeg;base64," + QByteArray(3 * 1024 * 1024, '\x5a').toBase64();
        m_provider->enqueue(Reply::stream({{chunk("A terminal") + "data: [DONE]\n\n"}}));
        const ServerProcess::Answer described = chat(
            token,
            QByteArray(R"({"model":"gpt-4.1","category":"exams","messages":[{"role":"user",)"
                       R"("content":[{"type":"text","text":"What is on my screen?"},)"
                       R"({"type":"image_url","image_url":{"url":"PICTURE","detail":"high"}}]}],)"
                       R"("temperature":0.15,"max_tokens":2300,"stream":true})")
                .replace("PICTURE", picture));
        QCOMPARE(described.status, 200);
        QVERIFY2(described.body.startsWith(QByteArray(waiting + chunk("A terminal"))),
                 described.body.constData());
        const QJsonArray sent = m_provider->requests().last().json()["messages"].toArray();
        QVERIFY(sent.last()["content"][1]["image_url"]["url"].toString() == QLatin1String(picture));

        m_provider->enqueue(Reply::json(
            400, QJsonObject{{"error", QJsonObject{{"message", "Too long, hunter2hunter2"},
                                                   {"code", "context_length_exceeded"}}}}));
        const ServerProcess::Answer refused = chat(token, question);
        QCOMPARE(refused.status, 400);
        QCOMPARE(refused.json().value("error").toString(),
                 "The model provider refused the request: Too long, [redacted]");
        // The log tells what kind of refusal it was, never the provider's words: they may quote
        // the user's.
        QTRY_VERIFY(m_server->log().contains("code context_length_exceeded"));
        QVERIFY(!m_server->log().contains("hunter2"));
        QVERIFY(!m_server->log().contains("Too long"));

        const qint64 before = m_server->balanceOf("s@example.org");
        Reply dying = Reply::stream({{chunk("partial")}});
        dying.stall = true;
        m_provider->enqueue(dying);
        const std::unique_ptr<QNetworkReply> cut = openStream(token);
        QTRY_VERIFY_WITH_TIMEOUT(cut->peek(cut->bytesAvailable()).contains("partial"), 20000);
        m_provider.reset();
        QTRY_VERIFY_WITH_TIMEOUT(cut->isFinished(), 10000);
        const QByteArray body = cut->readAll();
        QVERIFY2(body.startsWith(QByteArray(waiting + chunk("partial"))), body.constData());
        QVERIFY(body.contains("The answer was cut off"));
        QVERIFY(body.endsWith("data: [DONE]\n\n"));
        QTRY_VERIFY(m_server->balanceOf("s@example.org") < before);
    }

    void bodiesAreRefusedUnread_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("holding"); // connections that first declare 16 MiB and send none
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("error");
        const QByteArray login = "POST /api/auth/login HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                 "Content-Type: application/json\r\n";
        const auto row = [](const char *name, const QByteArray &request, int holding = 0,
                            int status = 413,
                            const char *error = "The request is too large (at most 8 KiB).") {
            QTest::newRow(name) << request << holding << status << QByteArray(error);
        };
        // The body is read and dropped, so a client that sends it all first still gets the
        // answer; one declared far too long is answered at once, before it arrives.
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
        row("while others are received", chatHead + "100000\r\n\r\n" + QByteArray(100000, ' '), 8,
            503, "The server is busy receiving other uploads. Try again in a moment.");
    }

    void bodiesAreRefusedUnread() {
        QFETCH(QByteArray, request);
        QFETCH(int, holding);
        QFETCH(int, status);
        QFETCH(QByteArray, error);
        const auto port = quint16(m_server->url().port());
        std::vector<std::unique_ptr<QTcpSocket>> held;
        while (int(held.size()) < holding) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(held.back()->waitForConnected(10000));
            held.back()->write(chatHead + "16777216\r\n\r\n{");
            QVERIFY(held.back()->waitForBytesWritten(10000));
        }
        // Once the server has read the heads of those held.
        QByteArray answer;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (answer = m_server->exchange(request, 1, "}"))
                .startsWith(QByteArray("HTTP/1.1 " + QByteArray::number(status) + ' ')),
            answer.constData(), 20000);
        QVERIFY2(answer.contains("Connection: close\r\n"), answer.constData());
        QVERIFY2(answer.endsWith(QByteArray("{\"error\":\"" + error + "\"}")), answer.constData());
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

    void streamsEndedEarly() {
        // A client that leaves stops the provider's transfer and pays for what it got; SIGTERM
        // with a stream open ends it, and the server exits by itself.
        const QString token = m_server->signedInUser("l@example.org", 1000);
        Reply endless = Reply::stream({{chunk("tick")}, {chunk("tick"), 10ms}});
        endless.endless = true;
        m_provider->enqueue(endless);
        Reply stalled = Reply::stream({{chunk("wait")}});
        stalled.stall = true;
        m_provider->enqueue(stalled);

        const std::unique_ptr<QNetworkReply> leaving = openStream(token);
        QTRY_VERIFY_WITH_TIMEOUT(leaving->bytesAvailable() > 0, 20000);
        leaving->abort();
        QTRY_COMPARE_WITH_TIMEOUT(m_provider->closedConnections(), 1, 10000);
        QTRY_VERIFY(m_server->balanceOf("l@example.org") < 1000);

        const std::unique_ptr<QNetworkReply> staying = openStream(token);
        QTRY_VERIFY_WITH_TIMEOUT(staying->bytesAvailable() > 0, 20000);
        // A reload asked of the service: it says a change needs a restart, and goes on.
        ::kill(pid_t(m_server->processId()), SIGHUP);
        QTRY_VERIFY(m_server->log().contains("restart the server for a change to take effect"));
        QVERIFY(!m_server->signedInUser("m@example.org").isEmpty());
        QVERIFY(m_server->stop());
    }

    void transcription() {
        const QString token = m_server->signedInUser("t@example.org", 1000);
        m_provider->enqueue(Reply::json(200, QJsonObject{{"text", "hello there"}}));
        const QByteArray audio("\x00\x01\r\n--fake", 10);
        const QByteArray form = "--XyZ\r\nContent-Disposition: form-data; name=\"audio\"; "
                                "filename=\"audio.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n" +
                                audio +
                                "\r\n--XyZ\r\nContent-Disposition: form-data; name=\"language\""
                                "\r\n\r\nen\r\n--XyZ--\r\n";
        auto headers = ServerProcess::bearer(token);
        headers.append({"Content-Type", QByteArray("multipart/form-data; boundary=XyZ")});
        const auto transcribe = [&](const QByteArray &body) {
            return m_server->call("POST", "/api/chat/transcribe", body, headers);
        };
        const ServerProcess::Answer answer = transcribe(form);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json(), (QJsonObject{{"transcript", "hello there"}}));
        const FakeBackend::Request &upstream = m_provider->requests().first();
        QCOMPARE(upstream.target, "/v1/audio/transcriptions");
        QVERIFY(upstream.body.contains(audio));
        QVERIFY(upstream.body.contains("name=\"language\"\r\n\r\nen\r\n"));
        QTRY_COMPARE(m_server->balanceOf("t@example.org"), 1000 - 3); // as a prompt of 11 bytes

        // A transcript may also come as plain text.
        m_provider->enqueue(Reply::text(200, "  Hello there.\n"));
        QCOMPARE(transcribe(form).json(), (QJsonObject{{"transcript", "Hello there."}}));
        QCOMPARE(transcribe(QByteArray(form).replace("--fake", QByteArray(70 * 1024, 'a'))).status,
                 413);
        QCOMPARE(transcribe("not a form").status, 400);
        QCOMPARE(transcribe(QByteArray(form).replace("\r\n\r\nen\r\n", "\r\n\r\ne\xff\r\n")).status,
                 400);
    }

    void servesTlsDirectly() {
        QTemporaryDir dir;
        const QJsonObject tls = ServerProcess::selfSignedTls(dir.path());
        QVERIFY(!tls.isEmpty());
        m_server = std::make_unique<ServerProcess>(tls);
        QVERIFY2(m_server->running(), m_server->log().constData());
        const QString token = m_server->signedInUser("tls@example.org");
        QCOMPARE(m_server->call("GET", "/api/auth/me", {}, ServerProcess::bearer(token)).status,
                 200);
        QCOMPARE(m_server->command({"check-config"}).first, 0);

        // A half-configured TLS setup is refused before the server starts.
        ServerProcess broken(QJsonObject{{"tls_certificate", tls["tls_certificate"]}});
        QVERIFY(!broken.running());
        QVERIFY(broken.log().contains(
            "\"tls_certificate\" and \"tls_private_key\" must be given together"));
    }

    // Past the open-file limit accept() fails; the server keeps trying and answers again once
    // connections end.
    void acceptsAgainAfterRunningOutOfFiles() {
        // UBSan's vptr check reads memory through a pipe, which it cannot open once descriptors
        // run out, and then calls sound objects bad: the server meets a closing client (its
        // first read error) while it still can, so that check is already cached.
        {
            QTcpSocket early;
            early.connectToHost(QHostAddress::LocalHost, quint16(m_server->url().port()));
            QVERIFY(early.waitForConnected(10000));
        }
        QCOMPARE(m_server->call("GET", "/healthz").status, 200);

        const auto pid = pid_t(m_server->processId());
        const qsizetype open = m_server->openFiles();
        QVERIFY(open > 0);
        const rlimit low{rlim_t(open + 8), rlim_t(open + 8)};
        QCOMPARE(prlimit(pid, RLIMIT_NOFILE, &low, nullptr), 0);

        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 24; ++i) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->connectToHost(QHostAddress::LocalHost, quint16(m_server->url().port()));
            QVERIFY(held.back()->waitForConnected(10000));
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_server->log().contains("Too many open files"), 30000);
        held.clear();
        QCOMPARE(m_server->call("GET", "/healthz").status, 200);
    }

    void capsTurnConnectionsAway_data() {
        QTest::addColumn<QString>("setting");
        QTest::newRow("in total") << "max_connections";
        QTest::newRow("per address") << "max_connections_per_address";
    }

    // Connections over a cap get a 503 at once; the place is free again when one closes.
    void capsTurnConnectionsAway() {
        QFETCH(QString, setting);
        m_server = std::make_unique<ServerProcess>(QJsonObject{{setting, 3}});
        QVERIFY2(m_server->running(), m_server->log().constData());
        const auto port = quint16(m_server->url().port());

        std::vector<std::unique_ptr<QTcpSocket>> held; // the test's own client may hold one more
        QByteArray answer;
        while (held.size() < 8) {
            held.push_back(askOnNewConnection(port));
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
        QTRY_VERIFY_WITH_TIMEOUT(askOnNewConnection(port)->readAll().startsWith("HTTP/1.1 200"),
                                 30000);
    }

    void theClientTalksToTheServer() {
        // Signed up in the browser; signed in, checked, and asking through the client's own
        // services: an answer streamed, then an exam answer reviewed in one shot, each with the
        // longest system prompt the client sends, nearly every byte of it escaped on the way.
        QCOMPARE(m_server->postSignupForm("name=Vi&email=v%40example.org&password=12345678").status,
                 201);
        QTemporaryDir dir;
        NoScreen screen;
        CountingFocus focus;
        ConversationRig rig(dir.filePath("settings.json"), screen, focus, m_server->url());
        const AuthService::UserInfo user = await(rig.auth.login("v@example.org", "12345678"));
        QCOMPARE(user.email, "v@example.org");
        QCOMPARE(user.name, "Vi");
        QCOMPARE(user.subscriptionStatus, "free");
        QCOMPARE(await(rig.auth.verifyToken()), user);
        QString prompt = "Réponds en français : 100 % 日本語 ";
        prompt += QString((16384 - prompt.toUtf8().size()) / 2, QChar(0xe9));
        QCOMPARE(prompt.toUtf8().size(), 16384);
        rig.settings.setSystemPrompt(prompt);

        ChatViewModel &model = rig.model;
        const auto ask = [&](const QString &text, const QList<Reply> &replies) {
            for (const Reply &reply : replies)
                m_provider->enqueue(reply);
            model.setInputText(text);
            model.sendMessage();
            QTRY_VERIFY(!model.isLoading());
            QVERIFY2(model.errorMessage().isEmpty(), qPrintable(model.errorMessage()));
        };
        ask("question 1", {streamedReply({"Par", "is."}, 10ms)});
        QCOMPARE(model.messages().last().content, "Paris.");
        rig.settings.setSelectedCategory("exams");
        ask("question 2", {streamedReply({"draft"}, 10ms), completionReply("reviewed", 5)});
        QCOMPARE(model.messages().last().content, "reviewed");
        // The server's instruction for the category leads, then the user's prompt, then what the
        // client sent.
        const QJsonArray sent = m_provider->requests().last().json()["messages"].toArray();
        QVERIFY(sent[0]["content"].toString().startsWith("You are an expert exam"));
        QCOMPARE(sent[1]["content"].toString(), prompt);
        QCOMPARE(sent[2]["content"].toString(), "question 1");

        QCOMPARE(
            failureOf<AuthService::AuthError>(rig.auth.login("v@example.org", "wrong password")),
            "Invalid e-mail or password.");
    }
};

QTEST_GUILESS_MAIN(PindleServerTest)
#include "tst_pindleserver.moc"
