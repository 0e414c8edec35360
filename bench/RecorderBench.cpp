// What recording costs: CPU time of this process per second of audio (beyond what the process
// spends idle), and how long starting and stopping take as the caller sees them.
//
// Needs a sound server with the test devices: run it through scripts/with-pulse.sh, for example
//   scripts/with-pulse.sh build/rel/bench/pindle_bench_recorder [seconds]

#include "Await.h"
#include "platform/media/AacFileWriter.h"
#include "platform/pulse/PulseAudioCapture.h"
#include "services/SystemAudioRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int latencyRounds = 10;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void idle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Milliseconds from stopRecording() until the file is complete.
double stopAndWait(AudioRecorder &recorder) {
    QEventLoop loop;
    QObject::connect(&recorder, &AudioRecorder::recordingFinished, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    recorder.stopRecording();
    loop.exec();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Milliseconds from startRecording() until isRecording.
double startAndWait(AudioRecorder &recorder) {
    QElapsedTimer timer;
    timer.start();
    await(recorder.startRecording());
    return double(timer.nsecsElapsed()) / 1e6;
}

// The encoder and file writer alone, fed as fast as they take it: the part of the live cost that
// is not waiting for and receiving sound. The speech is fed as if it were 12 kHz.
void benchEncoder(const QString &wav, int channels) {
    QFile file(wav);
    file.open(QIODevice::ReadOnly);
    const QByteArray mono = file.readAll().mid(44); // past a canonical RIFF header
    std::vector<std::int16_t> samples;
    for (qsizetype at = 0; at + 1 < mono.size(); at += 2)
        for (int channel = 0; channel < channels; ++channel)
            samples.push_back(std::int16_t(quint8(mono[at]) | (qint8(mono[at + 1]) << 8)));
    const int frames = int(samples.size()) / channels;
    constexpr int rate = 12000;
    constexpr int chunk = rate / 20;
    constexpr int seconds = 60;
    const double before = processCpuSeconds();
    AacFileWriter writer(QFileInfo(wav).dir().filePath(QStringLiteral("encoder.m4a")),
                         {rate, channels, 48000 * channels});
    for (int written = 0; written < seconds * rate; written += chunk)
        writer.write(samples.data() + std::size_t(written % (frames - chunk)) * channels, chunk);
    writer.finish();
    const double perSecond = (processCpuSeconds() - before) / seconds;
    std::printf("encoder alone, %d channel%s: %.1f ms CPU per second of audio\n", channels,
                channels == 1 ? "" : "s", perSecond * 1e3);
}

struct Spread {
    double median;
    double worst;
};

Spread spreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

void bench(const char *name, AudioRecorder &recorder, int seconds, double idleCpuPerSecond) {
    const double cpuAtStart = processCpuSeconds();
    await(recorder.startRecording());
    const double cpuRecording = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    idle(seconds * 1000);
    const double cpuAtStop = processCpuSeconds();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    stopAndWait(recorder);
    const double perSecond = (cpuAtStop - cpuRecording) / elapsed - idleCpuPerSecond;
    const double oneOff = (cpuRecording - cpuAtStart) + (processCpuSeconds() - cpuAtStop);
    std::printf("%-13s %d s recorded: %.1f ms CPU per second of audio (%.2f%% of a core); "
                "start and stop: %.1f ms CPU\n",
                name, seconds, perSecond * 1e3, perSecond * 100, oneOff * 1e3);

    std::vector<double> starts;
    std::vector<double> stops;
    for (int round = 0; round < latencyRounds; ++round) {
        starts.push_back(startAndWait(recorder));
        idle(300);
        stops.push_back(stopAndWait(recorder));
    }
    const Spread start = spreadOf(starts);
    const Spread stop = spreadOf(stops);
    std::printf("%-13s start to isRecording: median %.1f ms, worst %.1f ms; stop to finished: "
                "median %.1f ms, worst %.1f ms (%d rounds)\n",
                name, start.median, start.worst, stop.median, stop.worst, latencyRounds);
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr, "run me through scripts/with-pulse.sh\n");
        return 1;
    }
    QTemporaryDir folder;
    qputenv("TMPDIR", QFile::encodeName(folder.path()));

    // Speech, played over and over into both devices by other processes.
    const QString speech = folder.filePath(QStringLiteral("speech.wav"));
    QProcess::execute(QStringLiteral("espeak-ng"),
                      {QStringLiteral("-w"), speech,
                       QStringLiteral("The quick brown fox jumps over the lazy dog.")});
    std::vector<std::unique_ptr<QProcess>> players;
    for (const char *sink : {"speaker", "micfeed"}) {
        players.push_back(std::make_unique<QProcess>());
        players.back()->start(
            QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("while paplay -d %1 %2; do :; done").arg(QLatin1String(sink), speech)});
    }

    benchEncoder(speech, 1);
    benchEncoder(speech, 2);

    const double idleBefore = processCpuSeconds();
    idle(seconds * 1000);
    const double idleCpuPerSecond = (processCpuSeconds() - idleBefore) / seconds;
    std::printf("idle process: %.2f ms CPU per second\n", idleCpuPerSecond * 1e3);

    PulseAudioCapture capture;
    SystemAudioRecorder system(capture);
    bench("system audio", system, seconds, idleCpuPerSecond);
    AudioRecorder microphone(capture);
    bench("microphone", microphone, seconds, idleCpuPerSecond);

    for (const auto &player : players) {
        player->kill();
        player->waitForFinished();
    }
    return 0;
}
