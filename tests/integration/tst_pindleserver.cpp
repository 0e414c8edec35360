// pindle-server end to end: the real program over HTTP, with a fake model provider on loopback,
// and the client's own chat service talking to it.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"
#include "ServerProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QTest>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

namespace {

QByteArray chatBody(bool stream) {
    return R"({"model":"gpt-4.1","category":"exams","messages":[{"role":"user","content":"Hi"}],)"
           R"("temperature":0.1,"max_tokens":2048,"stream":)" +
           QByteArray(stream ? "true}" : "false}");
}

// Event lines as providers send them, with a blank line after each.
QByteArray chunk(const QString &text) {
    return deltaLine(text) + '\n';
}

const QString examsInstruction = "You are an expert exam and study assistant. Help the user with "
                                 "academic questions, study tips, and exam preparation.";

QList<std::pair<QByteArray, QByteArray>> bearer(const QString &token) {
    return {{"Authorization", "Bearer " + token.toUtf8()}};
}

qint64 balanceOf(ServerProcess &server, const QString &email) {
    const QList<QByteArray> lines = server.command({"user", "list"}).second.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 5 && fields[1] == email.toUtf8())
            return fields[4].toLongLong();
    }
    return -1;
}

} // namespace

class PindleServerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeBackend> m_provider;
    std::unique_ptr<ServerProcess> m_server;

    ServerProcess::Answer chat(const QString &token, const QByteArray &body) {
        return m_server->call("POST", "/api/chat", body, bearer(token));
    }

    // Exactly what a browser posts for the sign-up form.
    ServerProcess::Answer signUpForm(const QByteArray &form) {
        return m_server->call("POST", "/signup", form,
                              {{"Content-Type", "application/x-www-form-urlencoded"}});
    }

    // A streamed question left open, for tests that end it from one side or the other.
    std::unique_ptr<QNetworkReply> openStream(QNetworkAccessManager &network,
                                              const QString &token) {
        QNetworkRequest request(QUrl(m_server->url().toString() + "/api/chat"));
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        return std::unique_ptr<QNetworkReply>(network.post(request, chatBody(true)));
    }

private Q_SLOTS:
    void init() {
        m_provider = std::make_unique<FakeBackend>();
        m_server = std::make_unique<ServerProcess>(
            QJsonObject{{"provider_url", QString(m_provider->url().toString() + "/v1")},
                        {"provider_api_key", "sk-test"},
                        {"model_map", QJsonObject{{"gpt-4.1", "local-model"}}},
                        {"signup_balance", 5000},
                        {"max_upload_bytes", 64 * 1024}});
        QVERIFY2(m_server->running(), m_server->log().constData());
    }

    void cleanup() {
        // Every test ends with a clean stop: a crash or sanitizer report in the server fails it.
        if (m_server && m_server->running())
            QVERIFY2(m_server->stop(), m_server->log().constData());
        if (QTest::currentTestFailed() && m_server)
            qWarning("server log:\n%s", m_server->log().constData());
        m_server.reset();
        m_provider.reset();
    }

    void routesAndBadInput_data() {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        const auto row = [](const char *name, const QByteArray &method, const QString &path,
                            const QByteArray &body, int status) {
            QTest::newRow(name) << method << path << body << status;
        };
        row("health", "GET", "/healthz", {}, 200);
        row("unknown route", "GET", "/api/nope", {}, 404);
        row("wrong method", "GET", "/api/chat", {}, 405);
        row("login not JSON", "POST", "/api/auth/login", "{email:", 400);
        row("login wrong types", "POST", "/api/auth/login", R"({"email":1,"password":[]})", 400);
        row("chat without a session", "POST", "/api/chat", chatBody(true), 401);
    }

    void routesAndBadInput() {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        const ServerProcess::Answer answer = m_server->call(method, path, body);
        QCOMPARE(answer.status, status);
        QVERIFY(answer.json().contains(status == 200 ? "status" : "error"));
    }

    void signUpInABrowserForm() {
        const ServerProcess::Answer page = m_server->call("GET", "/signup");
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("<form method=\"post\" action=\"/signup\">"));

        const ServerProcess::Answer created =
            signUpForm("name=Ada+Lovelace&email=ada%40example.org&password=analytical%21");
        QCOMPARE(created.status, 201);
        QVERIFY(created.body.contains("Your account ada@example.org is ready"));

        const ServerProcess::Answer again =
            signUpForm("name=Ada&email=ADA%40Example.org&password=analytical%21");
        QCOMPARE(again.status, 409);
        QVERIFY(again.body.contains("An account with this e-mail address already exists."));
        QVERIFY(again.body.contains("<form"));

        const ServerProcess::Answer script =
            signUpForm("name=%3Cscript%3E&email=bad&password=analytical%21");
        QCOMPARE(script.status, 400);
        QVERIFY(script.body.contains("Please enter a valid e-mail address."));
        // What was typed comes back, escaped, so nothing needs typing twice and nothing runs.
        QVERIFY(script.body.contains("value=\"&lt;script&gt;\""));
        QVERIFY(!script.body.contains("<script>"));

        // Accounts cannot be made in bulk from one address.
        signUpForm("name=B&email=b1%40example.org&password=analytical%21");
        signUpForm("name=B&email=b2%40example.org&password=analytical%21");
        QCOMPARE(signUpForm("name=B&email=b3%40example.org&password=analytical%21").status, 429);

        // The new account signs in, with the sign-up balance.
        const ServerProcess::Answer login = m_server->call(
            "POST", "/api/auth/login", R"({"email":"Ada@example.org","password":"analytical!"})");
        QCOMPARE(login.status, 200);
        QCOMPARE(balanceOf(*m_server, "ada@example.org"), 5000);
    }

    void signInAndVerify() {
        const QString token = m_server->signedInUser("Grace@Example.org");
        QCOMPARE(token.size(), 64);

        const ServerProcess::Answer me = m_server->call("GET", "/api/auth/me", {}, bearer(token));
        QCOMPARE(me.status, 200);
        const QJsonObject user = me.json();
        QVERIFY(user.value("id").isString());
        QCOMPARE(user.value("email").toString(), "Grace@Example.org");
        QCOMPARE(user.value("subscriptionStatus").toString(), "free");

        QCOMPARE(m_server->call("GET", "/api/auth/me", {}, bearer("x" + token)).status, 401);

        const QByteArray wrong = R"({"email":"grace@example.org","password":"wrong password"})";
        const ServerProcess::Answer refused = m_server->call("POST", "/api/auth/login", wrong);
        QCOMPARE(refused.status, 401);
        QCOMPARE(refused.json().value("error").toString(), "Invalid e-mail or password.");
        for (int i = 0; i < 4; ++i)
            m_server->call("POST", "/api/auth/login", wrong);
        const ServerProcess::Answer limited =
            m_server->call("POST", "/api/auth/login",
                           R"({"email":"grace@example.org","password":"correct horse"})");
        QCOMPARE(limited.status, 429);
        QVERIFY(limited.json().value("error").isString());
    }

    void streamedChatPassesThrough() {
        const QString token = m_server->signedInUser("s@example.org", 1000);
        m_provider->enqueue(Reply::stream({{chunk("Hel")},
                                           {chunk("lo"), 20ms},
                                           {R"(data: {"choices":[],"usage":{"total_tokens":42}})"
                                            "\n\ndata: [DONE]\n\n",
                                            20ms}}));
        const ServerProcess::Answer answer = chat(token, chatBody(true));
        QCOMPARE(answer.status, 200);
        QVERIFY2(answer.body.startsWith(QByteArray(chunk("Hel") + chunk("lo"))),
                 answer.body.constData());
        QVERIFY(answer.body.endsWith("data: [DONE]\n\n"));

        const FakeBackend::Request &upstream = m_provider->requests().first();
        QCOMPARE(upstream.target, "/v1/chat/completions");
        QCOMPARE(upstream.header("Authorization"), "Bearer sk-test");
        const QJsonObject sent = upstream.json();
        QCOMPARE(sent.value("model").toString(), "local-model");
        QCOMPARE(sent.value("stream_options").toObject().value("include_usage").toBool(), true);
        QCOMPARE(sent["messages"][0]["content"].toString(), examsInstruction);
        // The answer may cost no more than the balance holds: 1000, less the prompt's estimate
        // (a token for every four characters of the instruction and "Hi", and one).
        QCOMPARE(sent.value("max_tokens").toInt(), 1000 - ((examsInstruction.size() + 2) / 4 + 1));
        QTRY_COMPARE(balanceOf(*m_server, "s@example.org"), 958);
    }

    void oneShotChatAndRefusals() {
        const QString token = m_server->signedInUser("o@example.org", 1000);
        m_provider->enqueue(completionReply("Four.", 10));
        const ServerProcess::Answer answer = chat(token, chatBody(false));
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json()["choices"][0]["message"]["content"].toString(), "Four.");
        QTRY_COMPARE(balanceOf(*m_server, "o@example.org"), 990);

        // The provider's own failure becomes a clear error.
        m_provider->enqueue(
            Reply::json(500, QJsonObject{{"error", QJsonObject{{"message", "boom"}}}}));
        const ServerProcess::Answer failed = chat(token, chatBody(false));
        QCOMPARE(failed.status, 502);
        QCOMPARE(failed.json().value("error").toString(),
                 "The model provider refused the request (HTTP 500): boom");

        // Malformed requests never reach the provider.
        const QByteArray hi = "\"content\":\"Hi\"";
        for (const QByteArray &malformed :
             {chatBody(false).replace("\"messages\"", "\"messagez\""),
              chatBody(false).replace("0.1", "\"hot\""),
              chatBody(false).replace(
                  hi, QByteArray(hi + ",\"x\":" + QByteArray(40, '[') + QByteArray(40, ']')))})
            QCOMPARE(chat(token, malformed).status, 400);
        // A picture must come inline: the provider is never sent to fetch an address.
        const ServerProcess::Answer refusedPicture =
            chat(token, chatBody(false).replace(hi, "\"content\":[{\"type\":\"image_url\",\"image_"
                                                    "url\":{\"url\":\"http://10.0.0.1/x.png\"}}]"));
        QCOMPARE(refusedPicture.status, 400);
        QVERIFY(refusedPicture.json().value("error").toString().contains("data:image/"));
        QCOMPARE(m_provider->requests().size(), 2);

        // An exhausted balance is refused before anything is spent.
        m_server->command({"user", "set-balance", "o@example.org", "0"});
        const ServerProcess::Answer broke = chat(token, chatBody(false));
        QCOMPARE(broke.status, 403);
        QVERIFY(broke.json().value("error").isString());
        QCOMPARE(m_provider->requests().size(), 2);
    }

    void usersSystemPrompt() {
        const QString token = m_server->signedInUser("p@example.org", 100000);
        const auto withPrompt = [&](const QByteArray &header) {
            auto headers = bearer(token);
            headers.append({"X-Pindle-System-Prompt", header});
            return m_server->call("POST", "/api/chat", chatBody(false), headers);
        };
        // Escaped as the client escapes it: every byte but the unreserved ones.
        const QString prompt = "Réponds en français, s'il te plaît : 100% 日本語";
        m_provider->enqueue(completionReply("Oui.", 10));
        QCOMPARE(withPrompt(QUrl::toPercentEncoding(prompt)).status, 200);
        const QJsonArray sent = m_provider->requests().last().json()["messages"].toArray();
        QCOMPARE(sent, (QJsonArray{QJsonObject{{"role", "system"}, {"content", examsInstruction}},
                                   QJsonObject{{"role", "system"}, {"content", prompt}},
                                   QJsonObject{{"role", "user"}, {"content", "Hi"}}}));

        // The longest prompt passes even with every byte escaped; one byte more, or broken
        // escapes, are refused before anything is spent or sent.
        m_provider->enqueue(completionReply("Yes.", 10));
        QCOMPARE(withPrompt(QUrl::toPercentEncoding(QString(8192, QChar(0xe9)))).status, 200);
        QTRY_COMPARE(balanceOf(*m_server, "p@example.org"), 100000 - 20);
        const ServerProcess::Answer tooLong = withPrompt(QByteArray(16385, 'a'));
        QCOMPARE(tooLong.status, 400);
        QCOMPARE(tooLong.json().value("error").toString(),
                 "The system prompt is longer than 16 KiB.");
        const ServerProcess::Answer latin1 = withPrompt("caf%E9");
        QCOMPARE(latin1.status, 400);
        QCOMPARE(latin1.json().value("error").toString(),
                 "The system prompt is not valid percent-encoded UTF-8.");
        QCOMPARE(m_provider->requests().size(), 2);
        QCOMPARE(balanceOf(*m_server, "p@example.org"), 100000 - 20);
    }

    void providerDiesMidStream() {
        const QString token = m_server->signedInUser("d@example.org", 1000);
        Reply dying = Reply::stream({{chunk("partial")}});
        dying.stall = true;
        m_provider->enqueue(dying);
        QTimer::singleShot(300, this, [this] { m_provider.reset(); });
        const ServerProcess::Answer answer = chat(token, chatBody(true));
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.body.startsWith(chunk("partial")));
        QVERIFY(answer.body.contains("The answer was cut off"));
        QVERIFY(answer.body.endsWith("data: [DONE]\n\n"));
        QTRY_VERIFY(balanceOf(*m_server, "d@example.org") < 1000);
    }

    void clientThatLeavesStopsTheProvider() {
        const QString token = m_server->signedInUser("l@example.org", 1000);
        Reply endless = Reply::stream({{chunk("tick")}, {chunk("tick"), 10ms}});
        endless.endless = true;
        m_provider->enqueue(endless);

        QNetworkAccessManager network;
        const std::unique_ptr<QNetworkReply> reply = openStream(network, token);
        QTRY_VERIFY(reply->bytesAvailable() > 0);
        reply->abort();
        QTRY_COMPARE_WITH_TIMEOUT(m_provider->closedConnections(), 1, 10000);
        QTRY_VERIFY(balanceOf(*m_server, "l@example.org") < 1000);
    }

    void stopsCleanlyMidStream() {
        // SIGTERM with a stream open: the server ends its transfers and exits by itself.
        const QString token = m_server->signedInUser("q@example.org");
        Reply stalled = Reply::stream({{chunk("wait")}});
        stalled.stall = true;
        m_provider->enqueue(stalled);
        QNetworkAccessManager network;
        const std::unique_ptr<QNetworkReply> reply = openStream(network, token);
        QTRY_VERIFY(reply->bytesAvailable() > 0);
        QVERIFY(m_server->stop());
    }

    void transcription() {
        const QString token = m_server->signedInUser("t@example.org");
        m_provider->enqueue(Reply::json(200, QJsonObject{{"text", "hello there"}}));
        const QByteArray audio("\x00\x01\r\n--fake", 10);
        QByteArray form = "--@\r\nContent-Disposition: form-data; name=\"audio\"; "
                          "filename=\"audio.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n" +
                          audio +
                          "\r\n--@\r\nContent-Disposition: form-data; name=\"language\"\r\n\r\n"
                          "en\r\n--@\r\nContent-Disposition: form-data; name=\"category\"\r\n\r\n"
                          "exams\r\n--@--\r\n";
        const QByteArray boundary = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";
        form.replace("@", boundary);
        auto headers = bearer(token);
        headers.append({"Content-Type", "multipart/form-data; boundary=" + boundary});
        const ServerProcess::Answer answer =
            m_server->call("POST", "/api/chat/transcribe", form, headers);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json(), (QJsonObject{{"transcript", "hello there"}}));
        const FakeBackend::Request &upstream = m_provider->requests().first();
        QCOMPARE(upstream.target, "/v1/audio/transcriptions");
        QVERIFY(upstream.body.contains(audio));
        QVERIFY(upstream.body.contains("name=\"language\"\r\n\r\nen\r\n"));

        QByteArray big = form;
        big.replace("--fake", QByteArray(70 * 1024, 'a'));
        QCOMPARE(m_server->call("POST", "/api/chat/transcribe", big, headers).status, 413);
        QCOMPARE(m_server->call("POST", "/api/chat/transcribe", "not a form", headers).status, 400);
    }

    void withoutProviderChatIsUnavailable() {
        m_server = std::make_unique<ServerProcess>(QJsonObject{});
        QVERIFY(m_server->running());
        const ServerProcess::Answer answer =
            chat(m_server->signedInUser("n@example.org"), chatBody(true));
        QCOMPARE(answer.status, 503);
        QVERIFY(answer.json().value("error").toString().contains("provider_url"));
    }

    void instancesShareOnePostgreSQL() {
        const QString database = qEnvironmentVariable("PINDLE_TEST_POSTGRES");
        if (database.isEmpty() && qEnvironmentVariableIsSet("CI"))
            QFAIL("no PostgreSQL in CI: the test must run through scripts/with-postgres.sh");
        if (database.isEmpty())
            QSKIP("no PostgreSQL here: run through scripts/with-postgres.sh");
        const QJsonObject settings{{"database", database},
                                   {"provider_url", QString(m_provider->url().toString() + "/v1")},
                                   {"signup_balance", 700}};
        ServerProcess first(settings);
        ServerProcess second(settings);
        QVERIFY2(first.running() && second.running(),
                 QByteArray(first.log() + second.log()).constData());

        // An account made through one instance signs in through the other and spends there.
        const ServerProcess::Answer created =
            first.call("POST", "/api/auth/signup",
                       R"({"email":"pg@example.org","name":"Pat","password":"12345678"})");
        QCOMPARE(created.status, 201);
        const ServerProcess::Answer login = second.call(
            "POST", "/api/auth/login", R"({"email":"PG@example.org","password":"12345678"})");
        QCOMPARE(login.status, 200);
        const QString token = login.json().value("token").toString();
        QCOMPARE(first.call("GET", "/api/auth/me", {}, bearer(token)).status, 200);

        m_provider->enqueue(completionReply("ok", 200));
        QCOMPARE(second.call("POST", "/api/chat", chatBody(false), bearer(token)).status, 200);
        QTRY_COMPARE(balanceOf(first, "pg@example.org"), 500);
    }

    void servesTlsDirectly() {
        QTemporaryDir dir;
        const QString certificate = dir.filePath("cert.pem");
        const QString key = dir.filePath("key.pem");
        QProcess openssl;
        openssl.start("openssl",
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                       "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key,
                       "-out", certificate});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);

        m_server = std::make_unique<ServerProcess>(
            QJsonObject{{"tls_certificate", certificate}, {"tls_private_key", key}});
        QVERIFY2(m_server->running(), m_server->log().constData());
        QCOMPARE(m_server->url().scheme(), "https");
        const QString token = m_server->signedInUser("tls@example.org");
        QCOMPARE(m_server->call("GET", "/api/auth/me", {}, bearer(token)).status, 200);

        // A half-configured TLS setup is refused before the server starts.
        QCOMPARE(m_server->command({"check-config"}).first, 0);
        ServerProcess broken(QJsonObject{{"tls_certificate", certificate}});
        QVERIFY(!broken.running());
        QVERIFY(broken.log().contains(
            "\"tls_certificate\" and \"tls_private_key\" must be given together"));
    }

    void theClientTalksToTheServer() {
        // Signed up in the browser; signed in, checked, asking, streaming, reviewed and
        // summarised through the client's own services.
        QCOMPARE(signUpForm("name=Vi&email=v%40example.org&password=12345678").status, 201);
        QTemporaryDir dir;
        NoScreen screen;
        CountingFocus focus;
        ConversationRig rig(dir.filePath("settings.json"), screen, focus, m_server->url());
        const AuthService::UserInfo user = await(rig.auth.login("v@example.org", "12345678"));
        QCOMPARE(user.email, "v@example.org");
        QCOMPARE(user.name, "Vi");
        QCOMPARE(await(rig.auth.verifyToken()), user);
        QCOMPARE(rig.secrets.items.size(), 1);

        ChatViewModel &model = rig.model;
        // Each answer streams in `pieces`; `after` answers the requests that follow it.
        const auto turn = [&](int n, const QStringList &pieces, const QList<Reply> &after = {}) {
            QList<FakeBackend::Part> parts;
            for (const QString &piece : pieces)
                parts.append({chunk(piece), 10ms});
            parts.append({"data: [DONE]\n\n"});
            m_provider->enqueue(Reply::stream(parts));
            for (const Reply &reply : after)
                m_provider->enqueue(reply);
            model.setInputText(QString("question %1").arg(n));
            model.sendMessage();
            QTRY_VERIFY(!model.isLoading());
            QVERIFY2(model.errorMessage().isEmpty(), qPrintable(model.errorMessage()));
        };
        turn(1, {"Par", "is."});
        QCOMPARE(model.messages().last().content, "Paris.");
        for (int n = 2; n <= 6; ++n)
            turn(n, {QString("answer %1").arg(n)});
        // The seventh answer is an exam answer (reviewed), and completes 14 messages (summarised).
        rig.settings.setSelectedCategory("exams");
        turn(7, {"draft"},
             {completionReply("reviewed", 5), completionReply("summary of turns one to three", 5)});
        QCOMPARE(model.messages().last().content, "reviewed");

        rig.settings.setSelectedCategory("writing");
        turn(8, {"answer 8"});
        // The server's instruction for the category leads, then the user's prompt if the client
        // sends one, then the client's context.
        QJsonArray context = m_provider->requests().last().json()["messages"].toArray();
        QCOMPARE(context.first()["content"].toString(),
                 "You are a writing assistant. Help the user with writing, editing, and content "
                 "creation.");
        context.removeFirst();
        if (context.first()["content"].toString() == rig.settings.systemPrompt())
            context.removeFirst();
        QCOMPARE(context.first()["role"].toString(), "system");
        QCOMPARE(context.first()["content"].toString(),
                 "Conversation summary so far:\nsummary of turns one to three");
        QCOMPARE(context.size(), 9);
        QCOMPARE(model.messages().size(), qsizetype(16));

        QCOMPARE(
            failureOf<AuthService::AuthError>(rig.auth.login("v@example.org", "wrong password")),
            "Invalid e-mail or password.");
    }
};

QTEST_GUILESS_MAIN(PindleServerTest)
#include "tst_pindleserver.moc"
