// pindle-server end to end: the real program over HTTP, with a fake model provider on loopback,
// and the client's own services talking to it. What the chat handler and its relay decide is tested
// without HTTP in tst_serverchat; this suite keeps what only a running server shows.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"
#include "ServerProcess.h"
#include "services/ModelDirectory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QTest>

#include <csignal>

using namespace std::chrono_literals;
using Reply = FakeBackend::Reply;

namespace {

const QByteArray question =
    R"({"model":"gpt-4.1","category":"exams","messages":[{"role":"user","content":"Hi"}],)"
    R"("temperature":0.1,"max_tokens":2048,"stream":true})";

// Event lines as providers send them, with a blank line after each.
QByteArray chunk(const QString &text) {
    return deltaLine(text) + '\n';
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

    // The account as the client reads it: the plan new accounts start on, then the operator's,
    // and what is left to spend.
    void planAndBalance() {
        const QString token = m_server->signedInUser("p@example.org", 12345);
        const auto me = [&] {
            return m_server->call("GET", "/api/auth/me", {}, ServerProcess::bearer(token)).json();
        };
        QCOMPARE(me()["subscriptionStatus"].toString(), "active");
        QCOMPARE(me()["tokenBalance"].toInteger(), 12345);
        QVERIFY(!me().contains("subscriptionEnd"));
        const auto plan = [&](const QStringList &arguments) -> QString {
            const auto [code, output] =
                m_server->command(QStringList{"user", "set-plan"} + arguments);
            return QString::number(code) + ' ' + QString::fromUtf8(output.trimmed());
        };
        QCOMPARE(plan({"p@example.org", "premium", "--until", "2027-02-28"}),
                 "0 p@example.org is on the plan premium until 2027-02-28.");
        QCOMPARE(me()["subscriptionStatus"].toString(), "premium");
        QCOMPARE(me()["subscriptionEnd"].toString(), "2027-02-28");
        QCOMPARE(plan({"p@example.org", "free"}), "0 p@example.org is on the plan free.");
        QVERIFY(!me().contains("subscriptionEnd"));
        QCOMPARE(plan({"p@example.org", "premium", "--until", "2027-02-30"}),
                 "2 The plan's end must be given as --until YYYY-MM-DD.");
        QCOMPARE(plan({"x@example.org", "free"}),
                 "1 No account has the e-mail address x@example.org.");
        QCOMPARE(me()["subscriptionStatus"].toString(), "free");
    }

    // The models a signed-in client may choose from: the catalogue when the operator names none,
    // else what the provider lists, read at start.
    void models() {
        QCOMPARE(m_server->call("GET", "/api/models").status, 401);
        const QString token = m_server->signedInUser("m@example.org");
        const QJsonObject catalogue =
            m_server->call("GET", "/api/models", {}, ServerProcess::bearer(token)).json();
        QCOMPARE(catalogue["models"].toArray().size(), 14);
        QCOMPARE(catalogue["default"].toString(), "gpt-4.1");
        QVERIFY(catalogue["anyModel"].toBool()); // as before, any other model is passed on
        QCOMPARE(catalogue["models"][6].toObject(),
                 (QJsonObject{{"id", "gpt-4o"},
                              {"name", "GPT-4o"},
                              {"description", "Reliable multimodal general-purpose model for "
                                              "text, images, and voice."},
                              {"vision", true}}));
        endTestServer(m_server);

        m_provider->route(
            "/v1/models",
            Reply::json(200, QJsonObject{{"data", QJsonArray{QJsonObject{{"id", "qwen"}},
                                                             QJsonObject{{"id", "llava"}}}}}));
        QJsonObject settings = ServerProcess::forwardingTo(m_provider->url());
        settings.insert("models", "provider");
        settings.insert("vision_models", QJsonArray{"llava"});
        m_server = std::make_unique<ServerProcess>(settings);
        QTRY_VERIFY(m_server->log().contains("offering the provider's 2 models"));
        const QString local = m_server->signedInUser("m@example.org");
        const QJsonObject offered =
            m_server->call("GET", "/api/models", {}, ServerProcess::bearer(local)).json();
        QCOMPARE(offered["default"].toString(), "qwen");
        QVERIFY(!offered["anyModel"].toBool());
        QCOMPARE(offered["models"][1]["vision"].toBool(), true);
        QCOMPARE(m_provider->requests().first().method, "GET");
        const ServerProcess::Answer refused = chat(local, question);
        QCOMPARE(refused.status, 400);
        QCOMPARE(refused.json()["error"].toString(),
                 "The model \"gpt-4.1\" is not offered by this server.");

        // The client offers what the server does, and a screenshot goes to the model that reads
        // pictures.
        QTemporaryDir dir;
        NoScreen screen;
        CountingFocus focus;
        ConversationRig rig(dir.filePath("settings.json"), screen, focus, m_server->url());
        (void)await(rig.auth.login("m@example.org", "correct horse"));
        ModelDirectory directory(rig.network, rig.auth, rig.settings, rig.config);
        await(directory.refresh());
        QCOMPARE(rig.settings.model(), "qwen");
        QCOMPARE(rig.settings.availableModelOptions().size(), 2);
        m_provider->enqueue(completionReply("A cat."));
        const ChatMessage screenshot(QUuid::createUuid(), ChatMessage::Role::User, {},
                                     QDateTime::currentDateTime(), QStringLiteral("AAAA"));
        QCOMPARE(await(rig.chat.chatCompletion({screenshot}, "general")), "A cat.");
        QCOMPARE(m_provider->requests().last().json()["model"].toString(), "llava");
    }

    // The browser's form: an account with the sign-up balance and its name as typed, in any
    // script; a refusal says why and gives back what was typed, escaped, so nothing needs typing
    // twice and nothing runs; and no more than five tries an hour from one address.
    void signUpInABrowserForm() {
        const ServerProcess::Answer page = m_server->call("GET", "/signup");
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("<form method=\"post\" action=\"/signup\">"));
        const auto posted = [&](const QByteArray &form, int status, const QByteArrayList &says) {
            const ServerProcess::Answer answer = m_server->postSignupForm(form);
            const bool right = answer.status == status &&
                               std::all_of(says.begin(), says.end(), [&](const QByteArray &text) {
                                   return answer.body.contains(text);
                               });
            if (!right)
                qWarning("%d %s", answer.status, answer.body.constData());
            return right;
        };
        // Text that is not UTF-8 once made an account that every sign-in failed for.
        const QString notUtf8 = "Names, e-mail addresses and passwords must be valid UTF-8 text.";
        QVERIFY(posted("name=Ada%FF&email=ada%40example.org&password=analytical%21", 400,
                       {notUtf8.toUtf8()}));
        const ServerProcess::Answer json = m_server->call(
            "POST", "/api/auth/signup",
            "{\"email\":\"ada@example.org\",\"name\":\"Ada\xc3\",\"password\":\"analytical!\"}");
        QCOMPARE(json.status, 400);
        QCOMPARE(json.json().value("error").toString(), notUtf8);

        QVERIFY(posted("name=Ada+%C3%A9&email=ada%40example.org&password=analytical%21", 201,
                       {"Your account ada@example.org is ready"}));
        QCOMPARE(m_server->balanceOf("ada@example.org"), 50000);
        const ServerProcess::Answer login = m_server->call(
            "POST", "/api/auth/login", R"({"email":"ada@example.org","password":"analytical!"})");
        QCOMPARE(login.status, 200);
        QCOMPARE(login.json().value("user")["name"].toString(), "Ada é");

        QVERIFY(posted("name=Ada&email=ADA%40Example.org&password=analytical%21", 409,
                       {"An account with this e-mail address already exists."}));
        QVERIFY(posted("name=%3Cscript%3E&email=bad&password=analytical%21", 400,
                       {"Please enter a valid e-mail address.", "value=\"&lt;script&gt;\""}));
        QVERIFY(posted("name=B&email=b%40example.org&password=analytical%21", 429,
                       {"Too many new accounts from here. Try again in an hour."}));
    }

    // A screenshot of some MiB reaches the provider whole; a refusal is passed on without the
    // provider's key, in the answer and in the log. How the relay treats each kind of answer is
    // tested without HTTP in tst_serverchat.
    void chatThroughTheServer() {
        const QString token = m_server->signedInUser("s@example.org");
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
        QVERIFY2(described.body.startsWith(
                     QByteArray(": waiting for the model\n\n" + chunk("A terminal"))),
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
    }

    // A client that leaves stops the provider's transfer and pays for what it got. A reload asked
    // of the service says a change needs a restart, and the server goes on.
    void streamEndedByTheClient() {
        const QString token = m_server->signedInUser("l@example.org", 1000);
        Reply endless = Reply::stream({{chunk("tick")}, {chunk("tick"), 10ms}});
        endless.endless = true;
        m_provider->enqueue(endless);
        const std::unique_ptr<QNetworkReply> leaving =
            m_server->send("POST", "/api/chat", question, ServerProcess::bearer(token));
        QTRY_VERIFY_WITH_TIMEOUT(leaving->bytesAvailable() > 0, 20000);
        leaving->abort();
        QTRY_COMPARE_WITH_TIMEOUT(m_provider->closedConnections(), 1, 10000);
        QTRY_VERIFY(m_server->balanceOf("l@example.org") < 1000);

        ::kill(pid_t(m_server->processId()), SIGHUP);
        QTRY_VERIFY(m_server->log().contains("restart the server for a change to take effect"));
        QVERIFY(!m_server->signedInUser("m@example.org").isEmpty());
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

    void theClientTalksToTheServer() {
        // Signed up in the browser; signed in, checked, and asking through the client's own
        // services: an answer streamed, then an exam answer reviewed in one shot, each with the
        // longest system prompt the client sends.
        QCOMPARE(m_server->postSignupForm("name=Vi&email=v%40example.org&password=12345678").status,
                 201);
        QTemporaryDir dir;
        NoScreen screen;
        CountingFocus focus;
        ConversationRig rig(dir.filePath("settings.json"), screen, focus, m_server->url());
        const AuthService::UserInfo user = await(rig.auth.login("v@example.org", "12345678"));
        QCOMPARE(user.email, "v@example.org");
        QCOMPARE(user.name, "Vi");
        QCOMPARE(user.subscriptionStatus, "active");
        QCOMPARE(user.tokenBalance, 50000);
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
        // After the server's instruction for the category, the user's prompt, intact.
        const QJsonArray sent = m_provider->requests().last().json()["messages"].toArray();
        QCOMPARE(sent[1]["content"].toString(), prompt);

        QCOMPARE(
            failureOf<AuthService::AuthError>(rig.auth.login("v@example.org", "wrong password")),
            "Invalid e-mail or password.");
    }
};

QTEST_GUILESS_MAIN(PindleServerTest)
#include "tst_pindleserver.moc"
