// Streams that take their time: a real pindle-server relaying from a fake provider that thinks
// before it answers or compresses; and the provider client itself, in process, giving up on a
// provider gone silent, and its cancels and stop reaching every thread it runs.

#include "Await.h"
#include "ChatReplies.h"
#include "ConversationRig.h"
#include "ProviderClient.h"
#include "ServerProcess.h"

#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <future>
#include <map>
#include <mutex>

using namespace std::chrono_literals;
using pindle::ProviderClient;
using pindle::ProviderHead;
using pindle::ProviderRequest;
using Reply = FakeBackend::Reply;

namespace {

const QByteArray question =
    R"({"model":"gpt-4.1","category":"writing","messages":[{"role":"user","content":"Hi"}],)"
    R"("temperature":0.1,"max_tokens":2048,"stream":true})";

// An answer in two words with a usage report, so what it costs is known exactly.
Reply answerWithUsage(int totalTokens) {
    return Reply::stream({{deltaLine("Deep") + '\n'},
                          {deltaLine(" thought.") + '\n', 20ms},
                          {"data: {\"choices\":[],\"usage\":{\"total_tokens\":" +
                           QByteArray::number(totalTokens) + "}}\n\n"},
                          {"data: [DONE]\n\n"}});
}

} // namespace

class ServerStreamsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeBackend> m_provider;
    std::unique_ptr<ServerProcess> m_server;

private Q_SLOTS:
    void init() {
        m_provider = std::make_unique<FakeBackend>();
        m_server = std::make_unique<ServerProcess>(ServerProcess::forwardingTo(m_provider->url()));
        QVERIFY2(m_server->running(), m_server->log().constData());
    }

    void cleanup() {
        endTestServer(m_server);
        m_provider.reset();
    }

    // The provider sends nothing, not even its head, for a minute and a half: longer than the
    // client waits in silence. The server's comments keep the client waiting, and it gets the
    // whole answer, charged once.
    void aModelThatThinksLongIsWaitedFor() {
        const QString user = m_server->signedInUser("user@example.org");
        Reply reply = answerWithUsage(123);
        reply.headDelay = 90s;
        m_provider->enqueue(std::move(reply));

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
        QVERIFY2(m_server->stop(), m_server->log().constData()); // every charge settled
        QCOMPARE(m_server->balanceOf("user@example.org"), 100000 - 123);
    }

    // Asked for an uncompressed answer, a provider compresses it anyway: it arrives decoded, as
    // the provider sent it, and is paid from the provider's usage report.
    void aCompressedAnswerIsDecoded() {
        const QString token = m_server->signedInUser("z@example.org");
        m_provider->enqueue(answerWithUsage(7).gzipped());
        const ServerProcess::Answer answer =
            m_server->call("POST", "/api/chat", question, ServerProcess::bearer(token));
        QCOMPARE(answer.body, ": waiting for the model\n\n" + deltaLine("Deep") + '\n' +
                                  deltaLine(" thought.") +
                                  "\ndata: {\"choices\":[],\"usage\":{\"total_tokens\":7}}\n\n"
                                  "data: [DONE]\n\n");
        const FakeBackend::Request &sent = m_provider->requests().last();
        QCOMPARE(sent.target, "/v1/chat/completions");
        QCOMPARE(sent.header("Authorization"), "Bearer sk-test");
        QCOMPARE(sent.header("Accept-Encoding"), "identity");
        QVERIFY2(m_server->stop(), m_server->log().constData());
        QCOMPARE(m_server->balanceOf("z@example.org"), 100000 - 7);
    }

    // The provider client on its own gives up on a provider that stops sending mid-answer.
    void aSilentProviderIsGivenUpOn() {
        m_provider->enqueue(Reply::stream({{deltaLine("a") + '\n'}}).stalled());
        ProviderClient client;
        ProviderRequest request;
        request.url = m_provider->url().toString().toStdString() + "/v1/chat/completions";
        request.body = "{}";
        request.silenceLimit = 1s;
        std::promise<std::string> done;
        client.start(request, {[](const ProviderHead &) {},
                               [](std::string_view) { return true; },
                               [&done](const std::string &error) { done.set_value(error); },
                               {}});
        std::future<std::string> ended = done.get_future();
        QVERIFY(ended.wait_for(30s) == std::future_status::ready);
        QCOMPARE(ended.get(), "the model provider sent nothing for 1 second");
    }

    // With transfers spread over several threads, a cancel still ends the one transfer it names,
    // and stopping ends every other on every thread, and any started after.
    void cancelAndStopReachEveryThread() {
        struct Ends {
            std::mutex mutex;
            std::condition_variable changed;
            std::vector<std::string> errors = std::vector<std::string>(7);
            size_t count = 0;
        } ends;
        ProviderClient client(3);
        std::vector<std::uint64_t> ids;
        const auto start = [&] {
            ProviderRequest request; // the provider is never served here: it stays silent
            request.url = m_provider->url().toString().toStdString() + "/v1/chat/completions";
            request.body = "{}";
            ids.push_back(
                client.start(request, {{},
                                       {},
                                       [&ends, slot = ids.size()](const std::string &error) {
                                           std::lock_guard lock(ends.mutex);
                                           ends.errors[slot] = error;
                                           ++ends.count;
                                           ends.changed.notify_all();
                                       },
                                       {}}));
        };
        for (int i = 0; i < 6; ++i)
            start();
        for (int i = 0; i < 6; i += 2)
            client.cancel(ids[i]);
        {
            std::unique_lock lock(ends.mutex);
            QVERIFY(ends.changed.wait_for(lock, 30s, [&] { return ends.count == 3; }));
        }
        client.stop();
        start();
        QCOMPARE(ends.count, size_t(7));
        for (size_t i = 0; i < ends.errors.size(); ++i)
            QCOMPARE(ends.errors[i],
                     i < 6 && i % 2 == 0 ? "cancelled" : "the server is shutting down");
    }
};

QTEST_GUILESS_MAIN(ServerStreamsTest)
#include "tst_serverstreams.moc"
