// What one streamed token costs in a short and in a long conversation: the cost must not grow
// with the conversation (no copy of the list, or of the whole answer, per token).

#include "Await.h"
#include "ConversationRig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr int tokens = 40'000;

QByteArray stream() {
    QByteArray body;
    for (int i = 0; i < tokens; ++i)
        body += R"(data: {"choices":[{"delta":{"content":"tok "}}]})"
                "\n";
    return body + "data: [DONE]\n";
}

// Nanoseconds per token while an answer streams into a conversation of `size` messages.
double perToken(int size) {
    QTemporaryDir dir;
    NoScreen capture;
    CountingFocus focus;
    ConversationRig rig(dir.filePath("settings.json"), capture, focus);
    FakeBackend &backend = rig.backend;
    ChatViewModel &model = rig.model;

    // A voice message whose recording is missing stays in the list without an answer: a cheap
    // way to grow the conversation.
    while (model.messages().size() < size - 1) {
        model.sendAudioMessage(dir.filePath("missing.m4a"));
        [[maybe_unused]] const bool idle = QTest::qWaitFor([&] { return !model.isLoading(); });
    }

    const QByteArray body = stream();
    QList<FakeBackend::Part> parts;
    for (qsizetype at = 0; at < body.size(); at += 64 * 1024)
        parts.append({body.mid(at, 64 * 1024)});
    backend.enqueue(FakeBackend::Reply::stream(parts));
    backend.enqueue(FakeBackend::Reply::json(200, {})); // a summary may be due afterwards

    QElapsedTimer timer;
    qint64 first = -1, last = -1;
    int seen = 0;
    QObject::connect(&model, &ChatViewModel::messageContentChanged, [&] {
        if (first < 0)
            first = timer.nsecsElapsed();
        last = timer.nsecsElapsed();
        ++seen;
    });
    timer.start();
    model.setInputText("go");
    model.sendMessage();
    [[maybe_unused]] const bool done = QTest::qWaitFor([&] { return !model.isLoading(); }, 120000);
    return double(last - first) / std::max(seen - 1, 1);
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    for (const int size : {10, 1000, 2000})
        std::printf(
            "streaming into a conversation of %4d messages: %.0f ns per token (%d tokens)\n", size,
            perToken(size), tokens);
    return 0;
}
