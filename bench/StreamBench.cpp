// How fast a streamed answer moves: the line decoder on its own, and the whole client path from
// the loopback fake backend through streamChatCompletion to the token callback.

#include "Await.h"
#include "FakeBackend.h"
#include "FakeSecretStore.h"
#include "services/AuthService.h"
#include "services/ChatClient.h"
#include "services/ChatStreamDecoder.h"
#include "services/SettingsManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int decoderTokens = 200'000;
constexpr int clientTokens = 50'000;
constexpr qsizetype pieceSize = 16 * 1024;

// An event stream of `count` short pieces, the way providers send them, ending in [DONE].
QByteArray eventStream(int count) {
    QByteArray body;
    const char *words[] = {"The", " answer", " is", " forty", "-two", ".", " Ré", "sumé", "\\n"};
    for (int i = 0; i < count; ++i) {
        body +=
            R"(data: {"id":"chatcmpl-1","object":"chat.completion.chunk","choices":[{"index":0,"delta":{"content":")";
        body += words[i % 9];
        body += "\"},\"finish_reason\":null}]}\n\n";
    }
    return body + "data: [DONE]\n\n";
}

QList<FakeBackend::Part> piecesOf(const QByteArray &body) {
    QList<FakeBackend::Part> parts;
    for (qsizetype at = 0; at < body.size(); at += pieceSize)
        parts.append({body.mid(at, pieceSize)});
    return parts;
}

void benchDecoder() {
    const QByteArray body = eventStream(decoderTokens);
    double best = 1e9;
    int tokens = 0;
    for (int round = 0; round < 5; ++round) {
        tokens = 0;
        ChatStreamDecoder decoder([&](const QString &) { ++tokens; });
        QElapsedTimer timer;
        timer.start();
        for (qsizetype at = 0; at < body.size(); at += pieceSize)
            decoder.feed(QByteArrayView(body).sliced(at, std::min(pieceSize, body.size() - at)));
        decoder.finish();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    std::printf("line decoder:           %d tokens, %.1f MB in %.1f ms: %.2f M tokens/s, %.0f MB/s "
                "(best of 5)\n",
                tokens, body.size() / 1e6, best * 1e3, tokens / best / 1e6,
                body.size() / best / 1e6);
}

void benchClient() {
    QTemporaryDir dir;
    FakeBackend backend;
    QNetworkAccessManager network;
    FakeSecretStore secrets;
    secrets.items.insert({QStringLiteral("com.pindle.app"), QStringLiteral("pindle_auth_token")},
                         "bench-token");
    AuthService auth(network, secrets, BackendConfig(backend.url()));
    SettingsManager settings(dir.filePath(QStringLiteral("settings.json")));
    ChatClient chat(network, auth, settings, BackendConfig(backend.url()));

    const QByteArray body = eventStream(clientTokens);
    const QList<ChatMessage> question{ChatMessage(QUuid::createUuid(), ChatMessage::Role::User,
                                                  QStringLiteral("Go"),
                                                  QDateTime::currentDateTime())};
    double best = 1e9;
    int tokens = 0;
    for (int round = 0; round < 3; ++round) {
        backend.enqueue(FakeBackend::Reply::stream(piecesOf(body)));
        tokens = 0;
        QElapsedTimer timer;
        timer.start();
        await(chat.streamChatCompletion(question, QStringLiteral("exams"),
                                        [&](const QString &) { ++tokens; }));
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    std::printf("streamChatCompletion:   %d tokens over loopback HTTP in %.1f ms: %.0f k tokens/s "
                "(best of 3; server and client share one thread)\n",
                tokens, best * 1e3, tokens / best / 1e3);
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    benchDecoder();
    benchClient();
    return 0;
}
