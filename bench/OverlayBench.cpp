// The overlay with a long conversation: resident memory with 2,000 messages, and frame times
// while an answer streams into the last bubble at 500 tokens per second.
// Needs an X display: scripts/with-x11.sh build/<dir>/bench/pindle_bench_overlay

#include "ChatReplies.h"
#include "ConversationRig.h"
#include "Resident.h"
#include "models/MessageListModel.h"
#include "platform/session/DesktopIntegration.h"
#include "windows/MessageImageProvider.h"
#include "windows/OverlayPanel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cstdio>
#include <vector>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

using namespace std::chrono_literals;

namespace {

// No recording in this benchmark.
class Idle final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool microphoneRecording READ no CONSTANT)
    Q_PROPERTY(bool systemAudioRecording READ no CONSTANT)
public:
    bool no() const { return false; }
    Q_INVOKABLE void toggleMicrophone() {}
    Q_INVOKABLE void toggleSystemAudio() {}
Q_SIGNALS:
    void systemAudioDeviceMissing();
};

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::ranges::sort(values);
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

} // namespace

int main(int argc, char **argv) {
    // Frames rendered on this thread, so the timings below are the whole frame.
    qputenv("QSG_RENDER_LOOP", "basic");
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QQuickWindow::setDefaultAlphaBuffer(true);

    QTemporaryDir dir;
    NoScreen capture;
    CountingFocus focus;
    ConversationRig rig(dir.filePath("settings.json"), capture, focus);
    FakeBackend &backend = rig.backend;
    SettingsManager &settings = rig.settings;
    ChatViewModel &model = rig.model;
    MessageListModel list(model);
    Idle recording;

    QQmlEngine engine;
    engine.addImageProvider(QStringLiteral("messages"), new MessageImageProvider(model));
    OverlayPanel panel(&engine, rig.overlay, createOverlayWindowing());
    panel.setContent({{"viewModel", QVariant::fromValue<QObject *>(&model)},
                      {"overlay", QVariant::fromValue<QObject *>(&rig.overlay)},
                      {"settings", QVariant::fromValue<QObject *>(&settings)},
                      {"messages", QVariant::fromValue<QObject *>(&list)},
                      {"recording", QVariant::fromValue<QObject *>(&recording)},
                      {"hiddenFromCapture", false},
                      {"blurBehind", false}});
    panel.show();
    if (!QTest::qWaitForWindowExposed(&panel))
        return 1;
    QTest::qWait(200);
    const double empty = residentMiB();

    // A voice message whose recording is missing stays without an answer: a cheap way to grow
    // the conversation.
    while (model.messages().size() < 2000) {
        model.sendAudioMessage(dir.filePath("missing.m4a"));
        [[maybe_unused]] const bool idle = QTest::qWaitFor([&] { return !model.isLoading(); });
    }
    model.dismissError();
    QTest::qWait(300);
    const double full = residentMiB();

    constexpr int tokens = 1500;
    QList<FakeBackend::Part> parts;
    for (int i = 0; i < tokens; ++i)
        parts.append(
            {deltaLine(i % 12 == 11 ? QStringLiteral("word\n") : QStringLiteral("word ")), 2ms});
    parts.append({"data: [DONE]\n"});
    backend.enqueue(FakeBackend::Reply::stream(parts));

    std::vector<double> frames, intervals;
    QElapsedTimer clockTimer;
    clockTimer.start();
    qint64 frameStart = 0, lastSwap = -1;
    QObject::connect(
        &panel, &QQuickWindow::beforeSynchronizing, &panel,
        [&] { frameStart = clockTimer.nsecsElapsed(); }, Qt::DirectConnection);
    QObject::connect(
        &panel, &QQuickWindow::frameSwapped, &panel,
        [&] {
            const qint64 now = clockTimer.nsecsElapsed();
            frames.push_back(double(now - frameStart) / 1e6);
            if (lastSwap >= 0)
                intervals.push_back(double(now - lastSwap) / 1e6);
            lastSwap = now;
        },
        Qt::DirectConnection);
    model.setInputText(QStringLiteral("stream"));
    model.sendMessage();
    [[maybe_unused]] const bool done = QTest::qWaitFor([&] { return !model.isLoading(); }, 60000);
    const double streamed = residentMiB();

    std::printf("overlay, %lld messages\n", qlonglong(model.messages().size()));
    std::printf("  resident: %.1f MiB empty, %.1f MiB with 2,000 messages, %.1f MiB after "
                "streaming %d tokens\n",
                empty, full, streamed, tokens);
    std::printf("  frames while streaming at ~500 tokens/s: %zu frames, sync+render median "
                "%.2f ms, p95 %.2f ms, max %.2f ms; interval median %.1f ms, p95 %.1f ms\n",
                frames.size(), percentile(frames, 0.5), percentile(frames, 0.95),
                percentile(frames, 1.0), percentile(intervals, 0.5), percentile(intervals, 0.95));
    return 0;
}

#include "OverlayBench.moc"
