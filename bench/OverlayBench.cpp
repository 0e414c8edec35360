// The overlay with a long conversation: resident memory with 100 and 2,000 messages, the share of
// it in Qt Quick Controls' libraries and plugins, and frame times while an answer streams into the
// last bubble at 500 tokens per second.
// Needs an X display: scripts/with-x11.sh build/<dir>/bench/pindle_bench_overlay

#include "ChatReplies.h"
#include "OverlayRig.h"
#include "Resident.h"
#include "app/QuickBackend.h"
#include "platform/session/DesktopIntegration.h"
#include "windows/MessageImageProvider.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

Q_IMPORT_QML_PLUGIN(PindlePlugin)

using namespace std::chrono_literals;

namespace {

// The libraries and plugins of Qt Quick Controls, which the overlay should not load.
double controlsMiB() {
    return residentInFilesMiB({QStringLiteral("QuickTemplates2"), QStringLiteral("QuickControls2"),
                               QStringLiteral("qtquickcontrols2"),
                               QStringLiteral("/qml/QtQuick/Controls"),
                               QStringLiteral("/qml/QtQuick/Templates")});
}

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
    chooseQuickBackend(); // as the application draws here
    QQuickWindow::setDefaultAlphaBuffer(true);

    QTemporaryDir dir;
    NoScreen capture;
    CountingFocus focus;
    OverlayRig overlay(dir.filePath("settings.json"), capture, focus, createOverlayWindowing());
    ConversationRig &rig = overlay.rig;
    FakeBackend &backend = rig.backend;
    ChatViewModel &model = rig.model;
    OverlayPanel &panel = overlay.panel;
    overlay.shortcuts.start();
    overlay.engine.addImageProvider(QStringLiteral("messages"), new MessageImageProvider(model));
    const auto object = [](QObject &object) { return QVariant::fromValue(&object); };
    panel.setContent({{QStringLiteral("viewModel"), object(model)},
                      {QStringLiteral("overlay"), object(rig.overlay)},
                      {QStringLiteral("settings"), object(rig.settings)},
                      {QStringLiteral("messages"), object(overlay.list)},
                      {QStringLiteral("recording"), object(overlay.recording)},
                      {QStringLiteral("shortcuts"), object(overlay.shortcuts)},
                      {QStringLiteral("appMenu"), object(overlay.menu)},
                      {QStringLiteral("hiddenFromCapture"), false}});
    panel.show();
    if (!QTest::qWaitForWindowExposed(&panel) || !panel.rootObject()) {
        std::fprintf(stderr, "the overlay's view did not load\n");
        return 1;
    }
    QTest::qWait(200);
    const double empty = residentMiB();

    // A voice message whose recording is missing stays without an answer: a cheap way to grow
    // the conversation.
    const auto growTo = [&](qsizetype size) {
        while (model.messages().size() < size) {
            model.sendAudioMessage(dir.filePath("missing.m4a"));
            [[maybe_unused]] const bool idle = QTest::qWaitFor([&] { return !model.isLoading(); });
        }
        model.dismissError();
        QTest::qWait(300);
        return residentMiB();
    };
    const double hundred = growTo(100);
    const double controls = controlsMiB();
    // What glibc keeps of the heap QML compilation freed, and the engine's unused components:
    // candidates for the application to let go once the view is up.
    overlay.engine.trimComponentCache();
    const double trimmedCache = residentMiB();
    malloc_trim(0);
    const double trimmed = residentMiB();
    const double full = growTo(2000);

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

    std::printf("overlay, %lld messages (%s)\n", qlonglong(model.messages().size()),
                qPrintable(QQuickWindow::sceneGraphBackend().isEmpty()
                               ? QStringLiteral("OpenGL")
                               : QQuickWindow::sceneGraphBackend()));
    std::printf("  resident: %.1f MiB empty, %.1f MiB with 100 messages, %.1f MiB with 2,000 "
                "messages, %.1f MiB after streaming %d tokens\n",
                empty, hundred, full, streamed, tokens);
    std::printf("  of it in Qt Quick Controls' libraries and plugins: %.1f MiB\n", controls);
    std::printf("  with 100 messages after trimComponentCache(): %.1f MiB, then malloc_trim(0): "
                "%.1f MiB\n",
                trimmedCache, trimmed);
    std::printf("  frames while streaming at ~500 tokens/s: %zu frames, sync+render median "
                "%.2f ms, p95 %.2f ms, max %.2f ms; interval median %.1f ms, p95 %.1f ms\n",
                frames.size(), percentile(frames, 0.5), percentile(frames, 0.95),
                percentile(frames, 1.0), percentile(intervals, 0.5), percentile(intervals, 0.95));
    return 0;
}

#include "OverlayBench.moc"
