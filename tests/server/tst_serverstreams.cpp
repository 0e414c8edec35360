// Streams that take their time: a real pindle-server relaying from a fake provider that thinks
// before it answers, compresses, or asks the client to wait; and the provider client itself,
// in process, reporting a head before any body, quiet spells and a provider gone silent.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"
#include "ProviderClient.h"
#include "ServerProcess.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>

using namespace std::chrono_literals;
using pindle::ProviderClient;
using pindle::ProviderHandlers;
using pindle::ProviderHead;
using pindle::ProviderRequest;
using Reply = FakeBackend::Reply;

namespace {

const QByteArray question =
    R"({"model":"gpt-4.1","category":"writing","messages":[{"role":"user","content":"Hi"}],)"
    R"("temperature":0.1,"max_tokens":2048,"stream":true})";

ServerProcess::Headers bearer(const QString &token) {
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

// An answer in two words with a usage report, so what it costs is known exactly.
Reply answerWithUsage(int totalTokens) {
    return Reply::stream({{deltaLine("Deep") + '\n'},
                          {deltaLine(" thought.") + '\n', 20ms},
                          {"data: {\"choices\":[],\"usage\":{\"total_tokens\":" +
                           QByteArray::number(totalTokens) + "}}\n\n"},
                          {"data: [DONE]\n\n"}});
}

// What a transfer reported, in order, from the provider thread.
class Transcript final : public QObject {
    Q_OBJECT

public:
    ProviderHandlers handlers() {
        return {[this](const ProviderHead &head) {
                    add("status " + QString::number(head.status) + " " +
                        QString::fromStdString(head.field("content-type").value_or("")));
                },
                [this](std::string_view bytes) {
                    add("data " + QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
                    return true;
                },
                [this](const std::string &error) {
                    add("done " + QString::fromStdString(error));
                    QMetaObject::invokeMethod(
                        this, [this] { Q_EMIT ended(); }, Qt::QueuedConnection);
                },
                [this] {
                    add("quiet");
                    return std::chrono::milliseconds(0);
                }};
    }
    QStringList events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

Q_SIGNALS:
    void ended();

private:
    void add(const QString &event) {
        std::lock_guard lock(m_mutex);
        m_events.append(event);
    }
    std::mutex m_mutex;
    QStringList m_events;
};

} // namespace

class ServerStreamsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeBackend> m_provider;
    std::unique_ptr<ServerProcess> m_server;

    // A streamed question whose answer is read as it arrives.
    std::unique_ptr<QNetworkReply> ask(const QString &token, QByteArray *received) {
        auto reply = m_server->send("POST", "/api/chat", question, bearer(token));
        QNetworkReply *raw = reply.get();
        connect(raw, &QIODevice::readyRead, raw, [raw, received] { *received += raw->readAll(); });
        return reply;
    }

    static void waitUntilFinished(QNetworkReply &reply) {
        QSignalSpy finished(&reply, &QNetworkReply::finished);
        if (!reply.isFinished())
            QVERIFY(finished.wait(60000));
    }

private Q_SLOTS:
    void init() {
        m_provider = std::make_unique<FakeBackend>();
        m_server = std::make_unique<ServerProcess>(ServerProcess::forwardingTo(m_provider->url()));
        QVERIFY2(m_server->running(), m_server->log().constData());
    }

    void cleanup() {
        if (m_server && m_server->running())
            QVERIFY2(m_server->stop(), m_server->log().constData());
        if (QTest::currentTestFailed() && m_server)
            qWarning("server log:\n%s", m_server->log().constData());
        m_server.reset();
        m_provider.reset();
    }

    // The provider sends nothing, not even its head, for a minute and a half: longer than the
    // client waits in silence. The server's comments keep both clients waiting, and each gets the
    // whole answer, charged once.
    void aModelThatThinksLongIsWaitedFor() {
        const QString watcher = m_server->signedInUser("watcher@example.org");
        const QString user = m_server->signedInUser("user@example.org");
        for (int i = 0; i < 2; ++i) {
            Reply reply = answerWithUsage(123);
            reply.headDelay = 90s;
            m_provider->enqueue(std::move(reply));
        }
        QByteArray received;
        const auto watched = ask(watcher, &received);

        QTemporaryDir dir;
        NoScreen screen;
        CountingFocus focus;
        ConversationRig rig(dir.filePath("settings.json"), screen, focus, m_server->url());
        rig.secrets.items.insert(FakeSecretStore::token, user.toUtf8());
        const ChatMessage hi(QUuid::createUuid(), ChatMessage::Role::User, "Hi",
                             QDateTime::currentDateTime());
        QString answer;
        await(rig.chat.streamChatCompletion({hi}, "writing",
                                            [&answer](const QString &token) { answer += token; }));
        QCOMPARE(answer, "Deep thought.");

        waitUntilFinished(*watched);
        QCOMPARE(watched->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        const qsizetype answerStarts = received.indexOf("data: ");
        const QByteArray waiting = received.left(answerStarts);
        QVERIFY2(waiting.count(": waiting for the model\n\n") >= 5, waiting.constData());
        QCOMPARE(waiting.count('\n'), 2 * waiting.count(": waiting for the model\n\n"));
        QVERIFY(received.endsWith("data: [DONE]\n\n"));
        QVERIFY(!received.contains("cut off"));

        QVERIFY2(m_server->stop(), m_server->log().constData()); // every charge settled
        QCOMPARE(balanceOf(*m_server, "user@example.org"), 100000 - 123);
        QCOMPARE(balanceOf(*m_server, "watcher@example.org"), 100000 - 123);
    }

    // Asked for an uncompressed answer, a provider compresses it anyway: it arrives decoded.
    void aCompressedStreamArrivesDecoded() {
        const QString token = m_server->signedInUser("z@example.org");
        m_provider->enqueue(answerWithUsage(7).gzipped());
        QByteArray received;
        const auto reply = ask(token, &received);
        waitUntilFinished(*reply);
        QCOMPARE(received, ": waiting for the model\n\n" + deltaLine("Deep") + '\n' +
                               deltaLine(" thought.") +
                               "\ndata: {\"choices\":[],\"usage\":{\"total_tokens\":7}}\n\n"
                               "data: [DONE]\n\n");
        QCOMPARE(m_provider->requests().last().header("Accept-Encoding"), "identity");
    }

    // A busy provider's pause reaches the client, chat and transcription alike.
    void aBusyProviderAsksTheClientToWait() {
        const QString token = m_server->signedInUser("b@example.org");
        Reply busy =
            Reply::json(429, {{"error", QJsonObject{{"message", "Rate limit reached for you"}}}});
        busy.headers.append({QByteArrayLiteral("Retry-After"), QByteArrayLiteral("30")});
        m_provider->enqueue(busy);
        QByteArray received;
        const auto reply = ask(token, &received);
        waitUntilFinished(*reply);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 429);
        QCOMPARE(reply->rawHeader("Retry-After"), "30");
        QCOMPARE(QJsonDocument::fromJson(received).object()["error"].toString(),
                 "The model provider is busy. Try again in 30 seconds.");
        // The log says what kind of refusal it was, never what the provider wrote.
        QVERIFY(!m_server->log().contains("Rate limit"));
        QVERIFY2(m_server->stop(), m_server->log().constData());
        QCOMPARE(balanceOf(*m_server, "b@example.org"), 100000);
    }

    // The provider client on its own: the head is reported as soon as it is complete, before
    // the body; a quiet spell is reported; a provider that then sends nothing is given up on.
    void theProviderClientReportsHeadQuietAndSilence() {
        m_provider->enqueue(Reply::stream({{deltaLine("a") + '\n'}}).stalled());
        m_provider->enqueue(Reply::stream({{deltaLine("a") + '\n', 4s}}));
        ProviderClient client;
        Transcript silent;
        Transcript slow;
        QSignalSpy silentEnded(&silent, &Transcript::ended);
        QSignalSpy slowEnded(&slow, &Transcript::ended);
        ProviderRequest request;
        request.url = m_provider->url().toString().toStdString() + "/v1/chat/completions";
        request.body = "{}";
        request.silenceLimit = 1s;
        client.start(request, silent.handlers());
        request.silenceLimit = 60s;
        request.firstQuiet = 1s;
        client.start(request, slow.handlers());
        QVERIFY(silentEnded.wait(30000));
        if (slowEnded.isEmpty())
            QVERIFY(slowEnded.wait(30000));
        const QString data = "data " + QString::fromUtf8(deltaLine("a")) + '\n';
        QCOMPARE(silent.events(),
                 QStringList({"status 200 text/event-stream", data,
                              "done the model provider sent nothing for 1 second"}));
        QCOMPARE(slow.events(),
                 QStringList({"status 200 text/event-stream", "quiet", data, "done "}));
    }
};

QTEST_GUILESS_MAIN(ServerStreamsTest)
#include "tst_serverstreams.moc"
