// The chat client against the loopback fake backend: every byte it sends, and how it reads every
// kind of reply the server may give.

#include "Await.h"
#include "ChatReplies.h"
#include "FakeBackend.h"
#include "FakeSecretStore.h"
#include "services/AuthService.h"
#include "services/ChatGPTService.h"
#include "services/SettingsManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <QCoroTask>

using namespace std::chrono_literals;
using APIError = ChatGPTService::APIError;
using Part = FakeBackend::Part;
using Reply = FakeBackend::Reply;

namespace {

ChatMessage message(ChatMessage::Role role, QString content,
                    std::optional<QString> imageBase64 = std::nullopt) {
    return ChatMessage(QUuid::createUuid(), role, std::move(content), QDateTime::currentDateTime(),
                       std::move(imageBase64));
}

QList<ChatMessage> question(const QString &text = QStringLiteral("What is 2+2?")) {
    return {message(ChatMessage::Role::User, text)};
}

// A text piece whose string and line never end.
QByteArray unterminatedDelta() {
    return deltaLine(QStringLiteral("x")).chopped(6);
}

// Each piece arrives on its own, a little after the one before.
Reply streamOf(const QByteArrayList &pieces) {
    QList<Part> parts;
    for (const QByteArray &piece : pieces)
        parts.append({piece, 15ms});
    return Reply::stream(parts);
}

} // namespace

class ChatGPTServiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeBackend> m_backend;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<FakeSecretStore> m_secrets;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<SettingsManager> m_settings;
    std::unique_ptr<ChatGPTService> m_chat;

    void makeService(const QUrl &base, std::chrono::milliseconds timeout = 5s) {
        m_chat = std::make_unique<ChatGPTService>(*m_network, *m_auth, *m_settings,
                                                  BackendConfig(base, timeout));
    }

    QStringList streamTokens(QList<ChatMessage> messages = question(),
                             const QString &category = QStringLiteral("exams")) {
        QStringList tokens;
        await(m_chat->streamChatCompletion(std::move(messages), category,
                                           [&](const QString &token) { tokens.append(token); }));
        return tokens;
    }

    QJsonObject sentBody(QList<ChatMessage> messages, const QString &category) {
        m_backend->enqueue(completionReply(QStringLiteral("ok")));
        await(m_chat->chatCompletion(std::move(messages), category));
        return m_backend->requests().last().json();
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_backend = std::make_unique<FakeBackend>();
        m_network = std::make_unique<QNetworkAccessManager>();
        m_secrets = std::make_unique<FakeSecretStore>();
        m_secrets->items.insert(
            {QStringLiteral("com.pindle.app"), QStringLiteral("pindle_auth_token")}, "tok-123");
        m_auth =
            std::make_unique<AuthService>(*m_network, *m_secrets, BackendConfig(m_backend->url()));
        m_settings = std::make_unique<SettingsManager>(m_dir->filePath(QStringLiteral("s.json")));
        makeService(m_backend->url());
    }

    void cleanup() {
        m_chat.reset();
        m_auth.reset();
        m_network.reset();
        m_backend.reset();
    }

    void requestWireFormat_data() {
        QTest::addColumn<bool>("stream");
        QTest::newRow("streamed") << true;
        QTest::newRow("one-shot") << false;
    }

    void requestWireFormat() {
        QFETCH(bool, stream);
        const QList<ChatMessage> messages{
            message(ChatMessage::Role::System, QStringLiteral("Be brief.")),
            message(ChatMessage::Role::User, QStringLiteral("Hi \"you\"\n")),
            message(ChatMessage::Role::Assistant, QString())};
        if (stream) {
            m_backend->enqueue(streamOf({deltaLine(QStringLiteral("x")), "data: [DONE]\n"}));
            streamTokens(messages, QStringLiteral("general"));
        } else {
            m_backend->enqueue(completionReply(QStringLiteral("x")));
            await(m_chat->chatCompletion(messages, QStringLiteral("general")));
        }

        QCOMPARE(m_backend->requests().size(), 1);
        const FakeBackend::Request &request = m_backend->requests().first();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.target, "/api/chat");
        QCOMPARE(request.headerCount("Authorization"), 1);
        QCOMPARE(request.header("Authorization"), "Bearer tok-123");
        QCOMPARE(request.header("Content-Type"), "application/json");
        // Compact serialisation: no whitespace outside strings.
        QVERIFY(!request.body.contains('\n'));
        QVERIFY(!request.body.contains("\": "));
        QVERIFY(request.body.contains("\"temperature\":0.25"));
        QVERIFY(request.body.contains("\"max_tokens\":2048"));

        const QJsonObject expected{
            {QStringLiteral("model"), QStringLiteral("gpt-4.1")},
            {QStringLiteral("category"), QStringLiteral("general")},
            {QStringLiteral("stream"), stream},
            {QStringLiteral("temperature"), 0.25},
            {QStringLiteral("max_tokens"), 2048},
            {QStringLiteral("messages"),
             QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                    {QStringLiteral("content"), QStringLiteral("Be brief.")}},
                        QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                    {QStringLiteral("content"), QStringLiteral("Hi \"you\"\n")}},
                        QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                    {QStringLiteral("content"), QString()}}}}};
        QCOMPARE(request.json(), expected);
    }

    void configurationTable_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("category");
        QTest::addColumn<int>("imageAt"); // index of the message with a screenshot, -1 for none
        QTest::addColumn<QString>("sentModel");
        QTest::addColumn<double>("temperature");
        QTest::addColumn<int>("maxTokens");

        QTest::newRow("exams") << "gpt-4.1"
                               << "exams" << -1 << "gpt-4.1" << 0.1 << 2048;
        QTest::newRow("coding, image") << "gpt-4.1"
                                       << "coding" << 1 << "gpt-4.1" << 0.1 << 2300;
        QTest::newRow("writing") << "gpt-4.1"
                                 << "writing" << -1 << "gpt-4.1" << 0.45 << 2048;
        QTest::newRow("writing, image") << "gpt-4.1"
                                        << "writing" << 1 << "gpt-4.1" << 0.45 << 2300;
        QTest::newRow("productivity") << "gpt-4.1"
                                      << "productivity" << -1 << "gpt-4.1" << 0.25 << 2048;
        QTest::newRow("general, image") << "gpt-4.1"
                                        << "general" << 1 << "gpt-4.1" << 0.15 << 2300;
        QTest::newRow("Exams is not exams") << "gpt-4.1"
                                            << "Exams" << -1 << "gpt-4.1" << 0.25 << 2048;
        QTest::newRow("Exams, image") << "gpt-4.1"
                                      << "Exams" << 1 << "gpt-4.1" << 0.15 << 2300;
        QTest::newRow("o3 text stays o3") << "o3"
                                          << "exams" << -1 << "o3" << 0.1 << 2048;
        QTest::newRow("o3 image goes to gpt-4o") << "o3"
                                                 << "exams" << 1 << "gpt-4o" << 0.1 << 2300;
        QTest::newRow("gpt-4.1-mini image") << "gpt-4.1-mini"
                                            << "exams" << 1 << "gpt-4.1-mini" << 0.1 << 2300;
        QTest::newRow("gpt-5.4 image") << "gpt-5.4"
                                       << "exams" << 1 << "gpt-5.4" << 0.1 << 2300;
        QTest::newRow("o4-mini image") << "o4-mini"
                                       << "exams" << 1 << "o4-mini" << 0.1 << 2300;
        QTest::newRow("GPT-4.1 is not a vision prefix") << "GPT-4.1"
                                                        << "exams" << 1 << "gpt-4o" << 0.1 << 2300;
        QTest::newRow("image in an older turn") << "o3"
                                                << "exams" << 0 << "gpt-4o" << 0.1 << 2300;
    }

    void configurationTable() {
        QFETCH(QString, model);
        QFETCH(QString, category);
        QFETCH(int, imageAt);
        QFETCH(QString, sentModel);
        QFETCH(double, temperature);
        QFETCH(int, maxTokens);

        m_settings->setModel(model);
        QList<ChatMessage> messages{message(ChatMessage::Role::User, QStringLiteral("first")),
                                    message(ChatMessage::Role::Assistant, QStringLiteral("reply")),
                                    message(ChatMessage::Role::User, QStringLiteral("second"))};
        if (imageAt >= 0)
            messages[imageAt].imageBase64 = QStringLiteral("AAAA");
        const QJsonObject body = sentBody(messages, category);
        QCOMPARE(body.value(QStringLiteral("model")).toString(), sentModel);
        QCOMPARE(body.value(QStringLiteral("category")).toString(), category);
        QCOMPARE(body.value(QStringLiteral("temperature")).toDouble(), temperature);
        QCOMPARE(body.value(QStringLiteral("max_tokens")).toInt(), maxTokens);
    }

    void screenshotMessages() {
        const QString base64 = QStringLiteral("/9j/4AAQSkZJRg+/==");
        const QList<ChatMessage> messages{
            message(ChatMessage::Role::User, QString(), base64),
            message(ChatMessage::Role::User, QStringLiteral(" "), base64),
            message(ChatMessage::Role::User, QStringLiteral("What is this?"), base64)};
        const QJsonArray sent =
            sentBody(messages, QStringLiteral("exams")).value(QStringLiteral("messages")).toArray();
        QCOMPARE(sent.size(), 3);
        const QStringList texts{
            QStringLiteral("Read everything on the screen carefully. Give the correct answer. Be "
                           "concise but accurate."),
            QStringLiteral(" "), QStringLiteral("What is this?")};
        for (int i = 0; i < 3; ++i) {
            const QJsonObject element = sent[i].toObject();
            QCOMPARE(element.value(QStringLiteral("role")).toString(), QStringLiteral("user"));
            const QJsonArray content = element.value(QStringLiteral("content")).toArray();
            const QJsonObject expectedText{{QStringLiteral("type"), QStringLiteral("text")},
                                           {QStringLiteral("text"), texts[i]}};
            const QJsonObject expectedImage{
                {QStringLiteral("type"), QStringLiteral("image_url")},
                {QStringLiteral("image_url"),
                 QJsonObject{{QStringLiteral("url"),
                              QString(QStringLiteral("data:image/jpeg;base64,") + base64)},
                             {QStringLiteral("detail"), QStringLiteral("high")}}}};
            QCOMPARE(content, (QJsonArray{expectedText, expectedImage}));
        }
    }

    void streamedLines_data() {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QStringList>("tokens");

        const QByteArray hello = deltaLine(QStringLiteral("Hello"));
        const QByteArray world = deltaLine(QStringLiteral(" wörld"));
        const QByteArray done = "data: [DONE]\n";

        QTest::newRow("whole lines")
            << QByteArrayList{hello, world, done} << QStringList{"Hello", " wörld"};
        QTest::newRow("split inside a line")
            << QByteArrayList{hello.left(9), hello.mid(9) + world.left(3), world.mid(3) + done}
            << QStringList{"Hello", " wörld"};
        const qsizetype umlaut = world.indexOf("\xc3\xb6");
        QTest::newRow("split inside a UTF-8 character")
            << QByteArrayList{world.left(umlaut + 1), world.mid(umlaut + 1), done}
            << QStringList{" wörld"};
        QTest::newRow("CRLF line ends")
            << QByteArrayList{hello.chopped(1) + "\r\n", world.chopped(1) + "\r",
                              "\n" + done.chopped(1) + "\r\n"}
            << QStringList{"Hello", " wörld"};
        QTest::newRow("nothing read after [DONE]")
            << QByteArrayList{hello, done + world, deltaLine(QStringLiteral("late"))}
            << QStringList{"Hello"};
        QTest::newRow("no [DONE]")
            << QByteArrayList{hello, world} << QStringList{"Hello", " wörld"};
        QTest::newRow("last line without a line break")
            << QByteArrayList{hello, world.chopped(1)} << QStringList{"Hello", " wörld"};
        QTest::newRow("lines that carry no text are skipped")
            << QByteArrayList{": keep-alive\n",
                              "event: message\n",
                              "\n",
                              "data: not json\n",
                              "data: {\"choices\":[]}\n",
                              "data: {\"choices\":[{\"delta\":{}}]}\n",
                              "data: {\"choices\":[{\"delta\":{\"content\":null}}]}\n",
                              "data: {\"choices\":[{\"delta\":{\"content\":7}}]}\n",
                              "data: [1,2]\n",
                              "data:" + hello.mid(6),
                              " " + hello,
                              hello,
                              done}
            << QStringList{"Hello"};
        QTest::newRow("empty text is delivered")
            << QByteArrayList{deltaLine(QString()), hello, done} << QStringList{"", "Hello"};
        QTest::newRow("[DONE] must match exactly")
            << QByteArrayList{"data: [DONE] \n", "data:  [DONE]\n", hello, done}
            << QStringList{"Hello"};
        QTest::newRow("empty body") << QByteArrayList{} << QStringList{};
    }

    void streamedLines() {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QStringList, tokens);
        m_backend->enqueue(streamOf(pieces));
        QCOMPARE(streamTokens(), tokens);
    }

    void streamStopsReadingAtDone() {
        // The server keeps sending after [DONE]; the client must hang up instead of reading on.
        Reply reply = Reply::stream({{deltaLine(QStringLiteral("a")) + "data: [DONE]\n"}});
        reply.parts.append({deltaLine(QStringLiteral("more")), 10ms});
        reply.endless = true;
        m_backend->enqueue(reply);
        QCOMPARE(streamTokens(), QStringList{"a"});
        QTRY_COMPARE(m_backend->closedConnections(), 1);
    }

    void streamedStatusErrors_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");

        QTest::newRow("500 with two lines")
            << 500 << QByteArray("a\nb") << "Server error (500): ab";
        QTest::newRow("502 CRLF lines")
            << 502 << QByteArray("bad\r\ngateway\r\n") << "Server error (502): badgateway";
        QTest::newRow("404 empty body") << 404 << QByteArray() << "Server error (404): ";
        QTest::newRow("503 JSON error: its sentence")
            << 503 << QByteArray("{\"error\":\"No model provider is configured.\"}")
            << "Server error (503): No model provider is configured.";
        QTest::newRow("502 provider-style error object")
            << 502 << QByteArray("{\"error\":{\"message\":\"Upstream down\",\"type\":\"x\"}}")
            << "Server error (502): Upstream down";
        QTest::newRow("401") << 401 << QByteArray("{\"error\":\"expired\"}")
                             << "Session expired. Please sign in again.";
    }

    void streamedStatusErrors() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        m_backend->enqueue(Reply::text(status, body));
        QCOMPARE(failureOf<APIError>(m_chat->streamChatCompletion(
                     question(), QStringLiteral("exams"), [](const QString &) {})),
                 message);
    }

    void streamed403NamesTheWebDomain() {
        m_backend->enqueue(Reply::text(403, "no"));
        QCOMPARE(failureOf<APIError>(m_chat->streamChatCompletion(
                     question(), QStringLiteral("exams"), [](const QString &) {})),
                 QStringLiteral("Token balance exhausted or access denied. Buy tokens or "
                                "subscribe on 127.0.0.1:%1.")
                     .arg(m_backend->url().port()));
        QCOMPARE(BackendConfig(QUrl(QStringLiteral("https://pindle.example:443"))).webDomain(),
                 QStringLiteral("pindle.example"));
    }

    void oneShotReplies_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("result"); // the answer, or the failure's message

        QTest::newRow("answer") << 200
                                << QByteArray(R"({"choices":[{"message":{"content":" Four. "}}]})")
                                << " Four. ";
        QTest::newRow("empty answer")
            << 200 << QByteArray(R"({"choices":[{"message":{"content":""}}]})") << "";
        QTest::newRow("401 is not singled out")
            << 401 << QByteArray(R"({"error":"expired"})") << R"(API error: {"error":"expired"})";
        QTest::newRow("403") << 403 << QByteArray("denied") << "API error: denied";
        QTest::newRow("body not UTF-8")
            << 500 << QByteArray("\xff\xfe") << "API error: Unknown error";
        QTest::newRow("no choices")
            << 200 << QByteArray(R"({"choices":[]})") << "Failed to parse API response";
        QTest::newRow("content not a string")
            << 200 << QByteArray(R"({"choices":[{"message":{"content":null}}]})")
            << "Failed to parse API response";
        QTest::newRow("not an object")
            << 200 << QByteArray("[1]") << "Failed to parse API response";
    }

    void oneShotReplies() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, result);
        m_backend->enqueue(Reply::text(status, body, "application/json"));
        auto task = m_chat->chatCompletion(question(), QStringLiteral("exams"));
        QString outcome;
        try {
            outcome = await(std::move(task));
        } catch (const APIError &error) {
            outcome = error.message();
        }
        QCOMPARE(outcome, result);
    }

    void oneShotBodyThatIsNotJson() {
        m_backend->enqueue(Reply::text(200, "<html>"));
        const QString failure =
            failureOf<DecodingError>(m_chat->chatCompletion(question(), QStringLiteral("exams")));
        QVERIFY2(failure.startsWith(QStringLiteral("The server's reply is not valid JSON")),
                 qPrintable(failure));
    }

    void refusedBeforeSending() {
        // Signed out: nothing is sent.
        m_secrets->items.clear();
        QCOMPARE(failureOf<APIError>(m_chat->chatCompletion(question(), QStringLiteral("exams"))),
                 QStringLiteral("Not logged in. Please sign in to use Pindle."));

        // A token never travels in clear text to another machine.
        m_secrets->items.insert(
            {QStringLiteral("com.pindle.app"), QStringLiteral("pindle_auth_token")}, "tok-123");
        makeService(QUrl(QStringLiteral("http://pindle.example")));
        QCOMPARE(
            failureOf<APIError>(m_chat->chatCompletion(question(), QStringLiteral("exams"))),
            QStringLiteral("Refusing to send your sign-in over an unencrypted connection to "
                           "pindle.example. Pindle's backend address must start with https://."));

        // A damaged token cannot smuggle extra header lines into the request.
        m_auth =
            std::make_unique<AuthService>(*m_network, *m_secrets, BackendConfig(m_backend->url()));
        m_secrets->items.insert(
            {QStringLiteral("com.pindle.app"), QStringLiteral("pindle_auth_token")},
            "tok\r\nX-Evil: 1");
        makeService(m_backend->url());
        QCOMPARE(failureOf<APIError>(m_chat->chatCompletion(question(), QStringLiteral("exams"))),
                 QStringLiteral("The stored sign-in is damaged. Please sign in again."));
        QVERIFY(m_backend->requests().isEmpty());

        // Loopback by name is this machine too.
        QUrl local = m_backend->url();
        local.setHost(QStringLiteral("localhost"));
        QVERIFY(!BackendConfig::credentialTransportRefusal(local));
        QVERIFY(
            !BackendConfig::credentialTransportRefusal(QUrl(QStringLiteral("http://[::1]:8787"))));
        QVERIFY(
            !BackendConfig::credentialTransportRefusal(QUrl(QStringLiteral("https://a.example"))));
    }

    void redirectsAreNotFollowed() {
        // The token must never be carried on to an address the user did not configure.
        FakeBackend elsewhere;
        Reply redirect = Reply::text(307, "moved");
        redirect.headers.append({"Location", elsewhere.url().toEncoded() + "/api/chat"});
        m_backend->enqueue(redirect);
        m_backend->enqueue(redirect);
        QCOMPARE(failureOf<APIError>(m_chat->streamChatCompletion(
                     question(), QStringLiteral("exams"), [](const QString &) {})),
                 QStringLiteral("Server error (307): moved"));
        QCOMPARE(failureOf<APIError>(m_chat->chatCompletion(question(), QStringLiteral("exams"))),
                 QStringLiteral("API error: moved"));
        QVERIFY(elsewhere.requests().isEmpty());
    }

    void transportFailures() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        QUrl gone = m_backend->url();
        gone.setPort(closed.serverPort());
        closed.close();
        makeService(gone);
        QCOMPARE(failureOf<NetworkError>(m_chat->streamChatCompletion(
                     question(), QStringLiteral("exams"), [](const QString &) {})),
                 QStringLiteral("Connection refused"));
        QCOMPARE(
            failureOf<NetworkError>(m_chat->chatCompletion(question(), QStringLiteral("exams"))),
            QStringLiteral("Connection refused"));
    }

    void idleTimeout() {
        makeService(m_backend->url(), 300ms);

        // Slow but steady: each piece comes well inside the idle timeout, the whole takes longer.
        QList<Part> slow;
        for (int i = 0; i < 4; ++i)
            slow.append({deltaLine(QString::number(i)), 150ms});
        slow.append({"data: [DONE]\n", 150ms});
        m_backend->enqueue(Reply::stream(slow));
        QCOMPARE(streamTokens(), (QStringList{"0", "1", "2", "3"}));

        // Silent after the first piece: what came stays delivered, then the request times out.
        Reply stalled = Reply::stream({{deltaLine(QStringLiteral("partial"))}});
        stalled.stall = true;
        m_backend->enqueue(stalled);
        QStringList tokens;
        QCOMPARE(failureOf<NetworkError>(m_chat->streamChatCompletion(
                     question(), QStringLiteral("exams"),
                     [&](const QString &token) { tokens.append(token); })),
                 QStringLiteral("The request timed out."));
        QCOMPARE(tokens, QStringList{"partial"});

        Reply silent = Reply::text(200, {});
        silent.parts.clear();
        silent.framing = FakeBackend::Framing::Chunked;
        silent.stall = true;
        m_backend->enqueue(silent);
        QCOMPARE(
            failureOf<NetworkError>(m_chat->chatCompletion(question(), QStringLiteral("exams"))),
            QStringLiteral("The request timed out."));
    }

    void droppedMidStream() {
        Reply dropped = Reply::stream({{deltaLine(QStringLiteral("a"))}});
        dropped.stall = true;
        m_backend->enqueue(dropped);
        QStringList tokens;
        auto task =
            m_chat->streamChatCompletion(question(), QStringLiteral("exams"),
                                         [&](const QString &token) { tokens.append(token); });
        QTRY_COMPARE(tokens, QStringList{"a"});
        m_backend.reset(); // the server goes away mid-answer
        QVERIFY(!failureOf<NetworkError>(std::move(task)).isEmpty());
        QCOMPARE(tokens, QStringList{"a"});
    }

    void endlessReplies() {
        // One line that never ends.
        Reply endlessLine = Reply::stream({{unterminatedDelta()}});
        endlessLine.parts.append({QByteArray(64 * 1024, 'x')});
        endlessLine.endless = true;
        m_backend->enqueue(endlessLine);
        QCOMPARE(failureOf<APIError>(m_chat->streamChatCompletion(
                     question(), QStringLiteral("exams"), [](const QString &) {})),
                 QStringLiteral("The server sent a reply line longer than 1 MiB; the answer was "
                                "stopped."));
        QTRY_COMPARE(m_backend->closedConnections(), 1);

        // Valid pieces that never end.
        QByteArray pieces;
        while (pieces.size() < 64 * 1024)
            pieces += deltaLine(QStringLiteral("na"));
        Reply endlessStream = Reply::stream({{pieces}});
        endlessStream.endless = true;
        m_backend->enqueue(endlessStream);
        QCOMPARE(failureOf<APIError>(m_chat->streamChatCompletion(
                     question(), QStringLiteral("exams"), [](const QString &) {})),
                 QStringLiteral("The server's answer went on past 32 MiB; it was stopped."));
        QTRY_COMPARE(m_backend->closedConnections(), 2);

        // A whole reply that never ends.
        Reply endlessBody = Reply::stream({{QByteArray(64 * 1024, ' ')}});
        endlessBody.endless = true;
        m_backend->enqueue(endlessBody);
        QCOMPARE(
            failureOf<PindleError>(m_chat->chatCompletion(question(), QStringLiteral("exams"))),
            QStringLiteral("The server's reply is larger than 8 MiB."));
        QTRY_COMPARE(m_backend->closedConnections(), 3);

        // An error page that never ends is cut to one readable line.
        Reply endlessError = Reply::stream({{"oops\n"}, {QByteArray(4096, 'e') + '\n'}});
        endlessError.status = 500;
        endlessError.endless = true;
        m_backend->enqueue(endlessError);
        const QString failure = failureOf<APIError>(m_chat->streamChatCompletion(
            question(), QStringLiteral("exams"), [](const QString &) {}));
        QVERIFY(failure.startsWith(QStringLiteral("Server error (500): oopseeee")));
        QVERIFY(failure.endsWith(QChar(0x2026)));
        QVERIFY(failure.size() < 70 * 1024);
        QTRY_COMPARE(m_backend->closedConnections(), 4);

        // One error line longer than the limit, arriving whole, still shows its beginning.
        m_backend->enqueue(Reply::text(500, QByteArray(100 * 1024, 'z') + '\n'));
        const QString longLine = failureOf<APIError>(m_chat->streamChatCompletion(
            question(), QStringLiteral("exams"), [](const QString &) {}));
        QVERIFY(longLine.startsWith(QStringLiteral("Server error (500): zzzz")));
        QVERIFY(longLine.endsWith(QChar(0x2026)));
    }
};

QTEST_GUILESS_MAIN(ChatGPTServiceTest)
#include "tst_chatgptservice.moc"
