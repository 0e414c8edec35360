// The chat endpoints' clients against the loopback fake backend: every byte the chat client and
// the transcription upload send, and how they read every kind of reply the server may give.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using namespace std::chrono_literals;
using ChatError = ChatClient::ChatError;
using TranscriptionError = AudioTranscriptionService::TranscriptionError;
using Reply = FakeBackend::Reply;
using Role = ChatMessage::Role;

namespace {

ChatMessage message(Role role, QString content, std::optional<QString> imageBase64 = {}) {
    return ChatMessage(QUuid::createUuid(), role, std::move(content), QDateTime::currentDateTime(),
                       std::move(imageBase64));
}

// Each piece arrives on its own, `gap` after the one before.
Reply streamOf(const QByteArrayList &pieces, std::chrono::milliseconds gap = 15ms) {
    QList<FakeBackend::Part> parts;
    for (const QByteArray &piece : pieces)
        parts.append({piece, gap});
    return Reply::stream(parts);
}

// Whether each of this process's connections to `port` on the loopback sends without waiting
// (TCP_NODELAY); nullopt when there is none.
std::optional<bool> connectionsSendAtOnce(quint16 port) {
    std::optional<bool> all;
    for (const QFileInfo &entry :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System)) {
        const int fd = entry.fileName().toInt();
        sockaddr_storage peer{};
        socklen_t size = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &size) != 0 ||
            peer.ss_family != AF_INET ||
            ntohs(reinterpret_cast<sockaddr_in &>(peer).sin_port) != port)
            continue;
        int noDelay = 0;
        socklen_t length = sizeof noDelay;
        getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length);
        all = all.value_or(true) && noDelay != 0;
    }
    return all;
}

} // namespace

class ChatClientTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::optional<ClientRig> m_rig;
    std::optional<SettingsManager> m_settings;
    std::optional<ChatClient> m_chat;
    QStringList m_tokens; // what the last streamed call delivered

    void makeService(const QUrl &base, std::chrono::milliseconds timeout = 5s) {
        m_chat.emplace(m_rig->network, m_rig->auth, *m_settings, BackendConfig(base, timeout));
    }

    // How a call ends: its answer (a streamed one's pieces joined by '|'), or its failure.
    QString outcome(bool streamed, QList<ChatMessage> messages = {message(Role::User, "2+2?")},
                    const QString &category = "exams") {
        m_tokens.clear();
        return outcomeOf<ChatError>("API", [&] {
            if (!streamed)
                return await(m_chat->chatCompletion(std::move(messages), category));
            await(
                m_chat->streamChatCompletion(std::move(messages), category,
                                             [this](const QString &token) { m_tokens << token; }));
            return m_tokens.join('|');
        });
    }

    // A transcription service sending the language of `locale`.
    AudioTranscriptionService transcriber(const QLocale &locale) {
        return AudioTranscriptionService(m_rig->network, m_rig->config,
                                         [locale] { return locale; });
    }

    QString recording(const QByteArray &bytes, const QString &name = "pindle_recording.m4a") {
        QFile file(m_dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    }

    QJsonObject sentBody(QList<ChatMessage> messages, const QString &category) {
        m_rig->backend.enqueue(completionReply("ok"));
        outcome(false, std::move(messages), category);
        return m_rig->backend.requests().last().json();
    }

private Q_SLOTS:
    void init() {
        m_chat.reset();
        m_rig.emplace();
        m_rig->secrets.items.insert(FakeSecretStore::token, "tok-123");
        m_settings.emplace(m_dir.filePath("s.json"));
        makeService(m_rig->backend.url());
    }
    void cleanup() {
        QFile::remove(m_dir.filePath("s.json"));
        m_chat.reset();
        m_rig.reset();
    }

    void requestWireFormat_data() {
        QTest::addColumn<bool>("stream");
        QTest::newRow("streamed") << true;
        QTest::newRow("one-shot") << false;
    }
    void requestWireFormat() {
        QFETCH(bool, stream);
        m_rig->backend.enqueue(stream ? streamOf({deltaLine("x"), "data: [DONE]\n"})
                                      : completionReply("x"));
        QCOMPARE(outcome(stream,
                         {message(Role::System, "Be brief."), message(Role::User, "Hi \"you\"\n"),
                          message(Role::Assistant, {})},
                         "general"),
                 "x");

        QCOMPARE(m_rig->backend.requests().size(), 1);
        const FakeBackend::Request &request = m_rig->backend.requests().first();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.target, "/api/chat");
        QCOMPARE(request.headerCount("Authorization"), 1);
        QCOMPARE(request.header("Authorization"), "Bearer tok-123");
        QCOMPARE(request.header("Content-Type"), "application/json");
        // Compact, the keys in the sorted order QJsonObject keeps.
        QCOMPARE(request.body, R"({"category":"general","max_tokens":2048,"messages":[)"
                               R"({"content":"Be brief.","role":"system"},)"
                               "{\"content\":\"Hi \\\"you\\\"\\n\",\"role\":\"user\"},"
                               R"({"content":"","role":"assistant"}],"model":"gpt-4.1","stream":)" +
                                   QByteArray(stream ? "true" : "false") + R"(,"system_prompt":")" +
                                   SettingsManager::defaultSystemPrompt().toUtf8() +
                                   R"(","temperature":0.25})");
        QCOMPARE(request.headerCount("X-Pindle-System-Prompt"), 0);
        // A large body's last piece is not held back for the server's acknowledgement.
        QCOMPARE(connectionsSendAtOnce(quint16(m_rig->backend.url().port())), std::optional(true));
    }

    // The user's system prompt travels trimmed in the body, and not at all when blank.
    void systemPromptInBody() {
        const QString prompt = QString(16 * 1024 / 2 - 1, QChar(0xe9)); // 2 bytes each in UTF-8
        const QList<std::pair<QString, QJsonValue>> cases{
            {" Réponds en \"français\",\nbrièvement. ",
             QString("Réponds en \"français\",\nbrièvement.")},
            {" \n ", QJsonValue(QJsonValue::Undefined)},
            {"\t" + prompt + "xy ", QString(prompt + "xy")}}; // 16 KiB exactly
        for (const auto &[stored, sent] : cases) {
            m_settings->setSystemPrompt(stored);
            const QJsonObject body = sentBody({message(Role::User, "Hi")}, "exams");
            QCOMPARE(body.value("system_prompt"), sent);
            QCOMPARE(body.size(), sent.isUndefined() ? 6 : 7);
            QCOMPARE(m_rig->backend.requests().last().headerCount("X-Pindle-System-Prompt"), 0);
        }
        m_settings->setSystemPrompt(prompt + "xyz");
        QCOMPARE(outcome(false),
                 "API: The system prompt is longer than 16 KiB. Shorten it in Settings.");
        QCOMPARE(m_rig->backend.requests().size(), 3);
    }

    // The model, temperature and token limit sent for each category, model and screenshot (in
    // the message at `imageAt`, none at -1), with the built-in rule for pictures and with a list
    // of the server's models ("mixed", or "text" where none reads images).
    void configurationTable_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("category");
        QTest::addColumn<int>("imageAt");
        QTest::addColumn<QString>("sent"); // or how the call failed, with nothing sent
        const auto row = [](const char *name, const char *list, const char *model,
                            const char *category, int at, const char *sent) {
            QTest::newRow(name) << QString(list) << QString(model) << QString(category) << at
                                << QString(sent);
        };
        row("coding, image", "", "gpt-4.1", "coding", 1, "gpt-4.1 0.1 2300");
        row("writing, image", "", "gpt-4.1", "writing", 1, "gpt-4.1 0.45 2300");
        row("general, image", "", "gpt-4.1", "general", 1, "gpt-4.1 0.15 2300");
        row("Exams is not exams", "", "gpt-4.1", "Exams", -1, "gpt-4.1 0.25 2048");
        row("o3 text stays o3", "", "o3", "exams", -1, "o3 0.1 2048");
        row("o3 image goes to gpt-4o", "", "o3", "exams", 1, "gpt-4o 0.1 2300");
        row("gpt-5.4 image", "", "gpt-5.4", "exams", 1, "gpt-5.4 0.1 2300");
        row("o4-mini image", "", "o4-mini", "exams", 1, "o4-mini 0.1 2300");
        row("GPT-4.1 is not a vision prefix", "", "GPT-4.1", "exams", 1, "gpt-4o 0.1 2300");
        row("image in an older turn", "", "o3", "exams", 0, "gpt-4o 0.1 2300");

        row("offered, text", "mixed", "eyes-2", "exams", -1, "eyes-2 0.1 2048");
        row("offered, reads images", "mixed", "eyes-2", "exams", 1, "eyes-2 0.1 2300");
        row("offered, blind: the first that reads", "mixed", "words", "exams", 1,
            "eyes-1 0.1 2300");
        row("not offered: the default", "mixed", "o3", "exams", -1, "words 0.1 2048");
        row("not offered, image: the list decides, not the name", "mixed", "gpt-4o", "exams", 0,
            "eyes-1 0.1 2300");
        row("none reads images", "text", "words", "exams", 1,
            "API: None of the models this server offers can read pictures, so the screen cannot "
            "be asked about.");
        row("none reads images, text is fine", "text", "words", "exams", -1, "words 0.1 2048");
    }
    void configurationTable() {
        QFETCH(QString, list);
        QFETCH(QString, model);
        QFETCH(QString, category);
        QFETCH(int, imageAt);
        QFETCH(QString, sent);
        if (!list.isEmpty()) {
            const bool reads = list == u"mixed";
            m_settings->setOfferedModels(OfferedModels{{{"words", "Words", "", false},
                                                        {"eyes-1", "Eyes", "", reads},
                                                        {"eyes-2", "Eyes 2", "", reads}},
                                                       "words"});
        }
        m_settings->setModel(model);
        QList<ChatMessage> messages{message(Role::User, "first"), message(Role::Assistant, "reply"),
                                    message(Role::User, "second")};
        if (imageAt >= 0)
            messages[imageAt].imageBase64 = "AAAA";
        if (sent.startsWith("API: ")) {
            QCOMPARE(outcome(false, messages, category), sent);
            QVERIFY(m_rig->backend.requests().isEmpty());
            return;
        }
        const QJsonObject body = sentBody(messages, category);
        QCOMPARE(body.value("category").toString(), category);
        QCOMPARE(body.value("model").toString() + ' ' +
                     QString::number(body.value("temperature").toDouble()) + ' ' +
                     QString::number(body.value("max_tokens").toInt()),
                 sent);
    }

    void screenshotMessages() {
        const QString jpeg = "/9j/4AAQSkZJRg+/==";
        const QJsonArray sent =
            sentBody({message(Role::User, {}, jpeg), message(Role::User, " ", jpeg),
                      message(Role::User, "What is this?", jpeg)},
                     "exams")
                .value("messages")
                .toArray();
        QCOMPARE(sent.size(), 3);
        const QStringList texts{"Read everything on the screen carefully. Give the correct "
                                "answer. Be concise but accurate.",
                                " ", "What is this?"};
        for (int i = 0; i < 3; ++i) {
            const QString expected = QStringLiteral(R"({"role": "user", "content": [
                {"type": "text", "text": "%1"},
                {"type": "image_url",
                 "image_url": {"url": "data:image/jpeg;base64,%2", "detail": "high"}}]})");
            QCOMPARE(sent[i].toObject(),
                     QJsonDocument::fromJson(expected.arg(texts[i], jpeg).toUtf8()).object());
        }
    }

    // Every ending of a call: the answer's pieces as the stream's lines carry them, refusals,
    // bodies that do not decode, and replies that never end, which the client must hang up on.
    void replies_data() {
        QTest::addColumn<bool>("streamed");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("expected"); // one '*' stands for any text
        const auto row = [](const char *name, bool streamed, const Reply &reply,
                            const QString &expected) {
            QTest::newRow(name) << streamed << reply << expected;
        };
        const auto lines = [&](const char *name, const QByteArrayList &pieces,
                               const QString &tokens) {
            row(name, true, streamOf(pieces), tokens);
        };
        const auto json = [](int status, const QByteArray &body) {
            return Reply::text(status, body, "application/json");
        };

        const QByteArray hello = deltaLine("Hello");
        const QByteArray world = deltaLine(" wörld");
        const QByteArray done = "data: [DONE]\n";
        lines("whole lines", {hello, world, done}, "Hello| wörld");
        lines("split inside a line",
              {hello.left(9), hello.mid(9) + world.left(3), world.mid(3) + done}, "Hello| wörld");
        const qsizetype umlaut = world.indexOf("\xc3\xb6");
        lines("split inside a UTF-8 character",
              {world.left(umlaut + 1), world.mid(umlaut + 1), done}, " wörld");
        lines("CRLF line ends",
              {hello.chopped(1) + "\r\n", world.chopped(1) + "\r", "\n" + done.chopped(1) + "\r\n"},
              "Hello| wörld");
        lines("nothing read after [DONE]", {hello, done + world, deltaLine("late")}, "Hello");
        lines("no [DONE]", {hello, world}, "Hello| wörld");
        lines("last line without a line break", {hello, world.chopped(1)}, "Hello| wörld");
        lines("lines that carry no text are skipped",
              {": keep-alive\n", "event: message\n", "\n", "data: not json\n",
               "data: {\"choices\":[]}\n", "data: {\"choices\":[{\"delta\":{}}]}\n",
               "data: {\"choices\":[{\"delta\":{\"content\":null}}]}\n",
               "data: {\"choices\":[{\"delta\":{\"content\":7}}]}\n", "data: [1,2]\n",
               "data:" + hello.mid(6), " " + hello, hello, done},
              "Hello");
        lines("empty text is delivered", {deltaLine({}), hello, done}, "|Hello");
        lines("[DONE] must match exactly", {"data: [DONE] \n", "data:  [DONE]\n", hello, done},
              "Hello");
        lines("empty body", {}, "");

        row("502 in LF and CRLF lines", true, Reply::text(502, "bad\r\ngate\nway\r\n"),
            "API: Server error (502): badgateway");
        row("404 empty body", true, Reply::text(404, {}), "API: Server error (404): ");
        row("503 JSON error: its sentence", true,
            Reply::text(503, R"({"error":"No model provider is configured."})"),
            "API: Server error (503): No model provider is configured.");
        row("502 provider-style error object", true,
            Reply::text(502, R"({"error":{"message":"Upstream down","type":"x"}})"),
            "API: Server error (502): Upstream down");
        row("401", true, Reply::text(401, R"({"error":"expired"})"),
            "API: Session expired. Please sign in again.");
        row("403 names the web domain", true, Reply::text(403, "no"),
            "API: Token balance exhausted or access denied. Buy tokens or subscribe on "
            "127.0.0.1:<port>.");
        // The token must never be carried on to an address the user did not configure: following
        // this redirect would end in a refused connection.
        Reply redirect = Reply::text(307, "moved");
        redirect.headers.append({QByteArray("Location"), "http://127.0.0.1:1/api/chat"});
        row("307 is not followed", true, redirect, "API: Server error (307): moved");
        row("hangs up after [DONE]", true,
            Reply::stream({{deltaLine("a") + "data: [DONE]\n"}, {deltaLine("more"), 10ms}})
                .endlessly(),
            "a");
        row("a line that never ends", true,
            Reply::stream({{deltaLine("x").chopped(6)}, {QByteArray(64 * 1024, 'x')}}).endlessly(),
            "API: The server sent a reply line longer than 1 MiB; the answer was stopped.");
        QByteArray pieces;
        while (pieces.size() < 64 * 1024)
            pieces += deltaLine("na");
        row("valid pieces that never end", true, Reply::stream({{pieces}}).endlessly(),
            "API: The server's answer went on past 32 MiB; it was stopped.");
        // An error page is cut to one readable line.
        Reply endlessError =
            Reply::stream({{"oops\n"}, {QByteArray(4096, 'e') + '\n'}}).endlessly();
        endlessError.status = 500;
        row("an error page that never ends", true, endlessError,
            "API: Server error (500): oopseeee*…");
        row("one error line past the limit, whole", true,
            Reply::text(500, QByteArray(100 * 1024, 'z') + '\n'),
            "API: Server error (500): zzzz*…");

        row("answer", false, json(200, R"({"choices":[{"message":{"content":" Four. "}}]})"),
            " Four. ");
        row("empty answer", false, json(200, R"({"choices":[{"message":{"content":""}}]})"), "");
        row("401 is not singled out", false, json(401, R"({"error":"expired"})"),
            R"(API: API error: {"error":"expired"})");
        row("body not UTF-8", false, json(500, "\xff\xfe"), "API: API error: Unknown error");
        row("no choices", false, json(200, R"({"choices":[]})"),
            "API: Failed to parse API response");
        row("content not a string", false,
            json(200, R"({"choices":[{"message":{"content":null}}]})"),
            "API: Failed to parse API response");
        row("not JSON", false, Reply::text(200, "<html>"),
            "decoding: The server's reply is not valid JSON*");
        row("a body that never ends", false,
            Reply::stream({{QByteArray(64 * 1024, ' ')}}).endlessly(),
            "error: The server's reply is larger than 8 MiB.");
    }
    void replies() {
        QFETCH(bool, streamed);
        QFETCH(Reply, reply);
        QFETCH(QString, expected);
        m_rig->backend.enqueue(reply);
        const QString actual = outcome(streamed);
        expected.replace("<port>", QString::number(m_rig->backend.url().port()));
        const QStringList ends = expected.split('*');
        if (ends.size() == 1)
            QCOMPARE(actual, expected);
        else
            QVERIFY2(actual.startsWith(ends[0]) && actual.endsWith(ends[1]) &&
                         actual.size() < 70 * 1024,
                     qPrintable(actual.left(200)));
        QCOMPARE(m_rig->backend.requests().size(), 1);
        if (reply.endless)
            QTRY_COMPARE(m_rig->backend.closedConnections(), 1);
    }

    void refusedBeforeSending() {
        // Signed out: nothing is sent.
        m_rig->secrets.items.clear();
        QCOMPARE(outcome(false), "API: Not logged in. Please sign in to use Pindle.");

        // A token never travels in clear text to another machine.
        m_rig->secrets.items.insert(FakeSecretStore::token, "tok-123");
        makeService(QUrl("http://pindle.example"));
        QCOMPARE(outcome(false),
                 "API: Refusing to send your sign-in over an unencrypted connection to "
                 "pindle.example. Pindle's backend address must start with https://.");

        // A damaged token cannot smuggle extra header lines into the request.
        init();
        m_rig->secrets.items.insert(FakeSecretStore::token, "tok\r\nX-Evil: 1");
        QCOMPARE(outcome(false), "API: The stored sign-in is damaged. Please sign in again.");
        QVERIFY(m_rig->backend.requests().isEmpty());

        // Loopback by name is this machine too.
        QUrl local = m_rig->backend.url();
        local.setHost("localhost");
        for (const QUrl &url : {local, QUrl("http://[::1]:8787"), QUrl("https://a.example")})
            QVERIFY(!BackendConfig::credentialTransportRefusal(url));
        QCOMPARE(BackendConfig(QUrl("https://pindle.example:443")).webDomain(), "pindle.example");
    }

    void idleTimeout() {
        makeService(m_rig->backend.url(), 300ms);

        // Slow but steady: each piece comes well inside the idle timeout, the whole takes longer.
        m_rig->backend.enqueue(streamOf(
            {deltaLine("0"), deltaLine("1"), deltaLine("2"), deltaLine("3"), "data: [DONE]\n"},
            150ms));
        QCOMPARE(outcome(true), "0|1|2|3");

        // Silent after the first piece: what came stays delivered, then the request times out.
        m_rig->backend.enqueue(Reply::stream({{deltaLine("partial")}}).stalled());
        QCOMPARE(outcome(true), "network: The request timed out.");
        QCOMPARE(m_tokens, QStringList{"partial"});

        m_rig->backend.enqueue(Reply::stream({}).stalled());
        QCOMPARE(outcome(false), "network: The request timed out.");
    }

    void serverGoingAway() {
        auto server = std::make_unique<FakeBackend>();
        makeService(server->url());
        server->enqueue(Reply::stream({{deltaLine("a")}}).stalled());
        auto task =
            m_chat->streamChatCompletion({message(Role::User, "2+2?")}, "exams",
                                         [this](const QString &token) { m_tokens << token; });
        QTRY_COMPARE(m_tokens, QStringList{"a"});
        server.reset(); // mid-answer
        // Qt reports a chunked body cut by the peer's orderly close either as the closed
        // connection or, when it notices the close while reading, as the body's end: the answer
        // ends in both, with what came kept, and any failure is the network's.
        failureOf<NetworkError>(std::move(task));
        QCOMPARE(m_tokens, QStringList{"a"});

        // Nobody listens there any more.
        QCOMPARE(outcome(true), "network: Connection refused");
        QCOMPARE(outcome(false), "network: Connection refused");
    }

    void transcriptionUpload_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QByteArray>("middle"); // what stands between the audio and the category
        QTest::newRow("English locale")
            << QLocale(QLocale::English, QLocale::UnitedKingdom) << "tok-1"
            << "exams"
            << QByteArray("--@\r\nContent-Disposition: form-data; name=\"language\"\r\n\r\nen\r\n");
        QTest::newRow("C locale, empty token and category") << QLocale::c() << ""
                                                            << "" << QByteArray();
    }
    void transcriptionUpload() {
        QFETCH(QLocale, locale);
        QFETCH(QString, token);
        QFETCH(QString, category);
        QFETCH(QByteArray, middle);
        const QByteArray audio("\x00\x01\r\n--not-a-boundary\xff", 22);
        const QString file = recording(audio, "whatever.aac");
        AudioTranscriptionService upload = transcriber(locale);
        QByteArrayList boundaries;
        for (int i = 0; i < 2; ++i) { // each upload has a boundary of its own
            m_rig->backend.enqueue(Reply::json(200, {{"transcript", " Hello there. "}}));
            QCOMPARE(await(upload.transcribeAudio(file, token, category)), " Hello there. ");

            const FakeBackend::Request &request = m_rig->backend.requests().at(i);
            QCOMPARE(request.method + ' ' + request.target, "POST /api/chat/transcribe");
            QCOMPARE(request.header("Authorization"),
                     QString("Bearer " + token).trimmed().toUtf8());
            const QByteArray contentType = request.header("Content-Type");
            const QRegularExpression form("^multipart/form-data; boundary=([0-9A-F]{8}-[0-9A-F]{4}-"
                                          "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$");
            const QRegularExpressionMatch match = form.match(QString::fromLatin1(contentType));
            QVERIFY2(match.hasMatch(), contentType.constData());
            const QByteArray boundary = match.captured(1).toLatin1();
            QVERIFY(!boundaries.contains(boundary));
            boundaries << boundary;
            QByteArray expected =
                "--@\r\nContent-Disposition: form-data; name=\"audio\"; "
                "filename=\"audio.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n" +
                audio + "\r\n" + middle +
                "--@\r\nContent-Disposition: form-data; name=\"category\"\r\n\r\n" +
                category.toUtf8() + "\r\n--@--\r\n";
            QCOMPARE(request.body, expected.replace("@", boundary));
        }
    }

    void transcriptionReplies_data() {
        QTest::addColumn<int>("status"); // 0: the recording cannot be read and nothing is sent
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected"); // a final '*' stands for any text
        QTest::newRow("no transcript") << 200 << QByteArray("{}") << "";
        QTest::newRow("transcript not text") << 200 << QByteArray(R"({"transcript":5})") << "";
        QTest::newRow("401 is not a session message")
            << 401 << QByteArray(R"({"error":"expired"})") << "refused: Failed to transcribe audio";
        QTest::newRow("200 not JSON")
            << 200 << QByteArray("<html>") << "decoding: The server's reply is not valid JSON*";
        QTest::newRow("no recording") << 0 << QByteArray() << "file: No such file or directory";
    }
    void transcriptionReplies() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        if (status != 0)
            m_rig->backend.enqueue(Reply::text(status, body, "application/json"));
        AudioTranscriptionService upload = transcriber(QLocale::c());
        const QString file = status != 0 ? recording("x") : m_dir.filePath("missing.m4a");
        const QString actual = outcomeOf<TranscriptionError>(
            "refused", [&] { return await(upload.transcribeAudio(file, "t", "exams")); });
        if (expected.endsWith('*'))
            QVERIFY2(actual.startsWith(expected.chopped(1)), qPrintable(actual));
        else
            QCOMPARE(actual, expected);
        QCOMPARE(m_rig->backend.requests().size(), status != 0 ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(ChatClientTest)
#include "tst_chatclient.moc"
