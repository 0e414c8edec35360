// The recorders against a real PulseAudio daemon with null sinks (scripts/with-pulse.sh starts it):
// speech played into a sink must end up in the right file, encoded as promised.

#include "Await.h"
#include "platform/pulse/AudioCaptureModule.h"
#include "platform/pulse/PulseAudioCapture.h"
#include "services/SystemAudioRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

using RecordingError = AudioRecorder::RecordingError;
using Reason = RecordingError::Reason;

namespace {

int run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(20000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// What ffprobe says of the file's first stream, and its loudest sample in dBFS from ffmpeg's
// volumedetect.
struct Probe {
    QString codec;
    int sampleRate = 0;
    int channels = 0;
    double seconds = 0;
    double loudest = 0;
};

Probe probe(const QString &path) {
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-of", "json", "-show_streams", "-show_format", path});
    ffprobe.waitForFinished();
    const QJsonObject info = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    const QJsonObject stream = info["streams"].toArray().first().toObject();
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-hide_banner", "-nostats", "-i", path, "-af", "volumedetect", "-f",
                            "null", "-"});
    ffmpeg.waitForFinished();
    const auto loudest = QRegularExpression("max_volume: (-?[0-9.]+|-inf) dB")
                             .match(QString::fromUtf8(ffmpeg.readAllStandardError()));
    return {stream["codec_name"].toString(), stream["sample_rate"].toString().toInt(),
            stream["channels"].toInt(), info["format"].toObject()["duration"].toString().toDouble(),
            loudest.hasMatch() ? loudest.captured(1).toDouble() : 0};
}

// A daemon of our own beside the script's, with the given modules loaded, for a server without
// devices and one that goes away.
class Daemon final {
public:
    explicit Daemon(const QStringList &modules) {
        QDir(m_dir.path()).mkdir("run");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.path());
        env.insert("XDG_RUNTIME_DIR", m_dir.filePath("run"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments = QString("--daemonize=no --exit-idle-time=-1 -n --use-pid-file=no "
                                        "--log-target=stderr --log-level=error")
                                    .split(' ');
        arguments << "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                         m_dir.filePath("native");
        for (const QString &module : modules)
            arguments << "--load=" + module;
        m_process.start("pulseaudio", arguments);
        address = "unix:" + m_dir.filePath("native");
        for (int i = 0; i < 200; ++i) {
            if (run("pactl", {"-s", address, "info"}) == 0)
                return;
            QTest::qWait(50);
        }
        qFatal("a private pulseaudio did not start");
    }
    ~Daemon() { kill(); }
    void kill() {
        m_process.kill();
        m_process.waitForFinished();
    }

    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

std::unique_ptr<AudioRecorder> makeRecorder(bool systemAudio, AudioCapture &capture) {
    if (systemAudio)
        return std::make_unique<SystemAudioRecorder>(capture);
    return std::make_unique<AudioRecorder>(capture);
}

// Every notification of a recorder, in order.
QStringList *observe(AudioRecorder &recorder) {
    auto *events = new QStringList;
    QObject::connect(&recorder, &QObject::destroyed, [events] { delete events; });
    QObject::connect(&recorder, &AudioRecorder::audioURLChanged,
                     [events, &recorder] { *events << "url " + recorder.audioURL().fileName(); });
    QObject::connect(&recorder, &AudioRecorder::isRecordingChanged, [events, &recorder] {
        *events << (recorder.isRecording() ? "recording" : "not recording");
    });
    QObject::connect(&recorder, &AudioRecorder::recordingFinished,
                     [events](const QUrl &url, bool successfully) {
                         *events << "finished " + url.fileName() + (successfully ? " ok" : " bad");
                     });
    return events;
}

// Run in a child process that is killed while it records.
int recordUntilKilled() {
    PulseAudioCapture capture;
    AudioRecorder recorder(capture);
    await(recorder.startRecording());
    std::puts("recording");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

class AudioRecorderTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tmp; // the recorders' temporary folder
    QString m_speech;
    double m_speechSeconds = 0;
    // As the application records: through the module it loads.
    AudioCaptureModule m_capture{QStringLiteral(PINDLE_AUDIO_MODULE_PATH)};

    void play(const QString &sink) { QCOMPARE(run("paplay", {"-d", sink, m_speech}), 0); }

    // Stops and waits for the file to be complete.
    void finish(AudioRecorder &recorder) {
        QSignalSpy finished(&recorder, &AudioRecorder::recordingFinished);
        recorder.stopRecording();
        QVERIFY(!recorder.isRecording());
        QVERIFY(finished.wait(10000));
        QVERIFY(finished.first().at(1).toBool());
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
            QFAIL("needs a private sound server: run through scripts/with-pulse.sh");
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        m_speech = m_tmp.filePath("speech.wav");
        QCOMPARE(run("espeak-ng", {"-w", m_speech, "Testing, one two three four."}), 0);
        m_speechSeconds = probe(m_speech).seconds;
        QVERIFY(m_speechSeconds > 1);
    }

    void recordsItsOwnDevice_data() {
        QTest::addColumn<bool>("systemAudio");
        QTest::addColumn<QString>("sink");
        QTest::addColumn<bool>("heard");
        QTest::newRow("microphone hears micfeed") << false << "micfeed" << true;
        QTest::newRow("microphone not the speaker") << false << "speaker" << false;
        QTest::newRow("system audio hears the speaker") << true << "speaker" << true;
        QTest::newRow("system audio not micfeed") << true << "micfeed" << false;
    }
    void recordsItsOwnDevice() {
        QFETCH(bool, systemAudio);
        QFETCH(QString, sink);
        QFETCH(bool, heard);
        const std::unique_ptr<AudioRecorder> recorder = makeRecorder(systemAudio, m_capture);
        const QStringList *events = observe(*recorder);
        recorder->stopRecording(); // nothing to stop: nothing happens
        QCOMPARE(*events, QStringList());

        // A start while it records begins the file again (overlapping starts are left to the
        // recorder's state test).
        await(recorder->startRecording());
        await(recorder->startRecording());
        const QString name = systemAudio ? "pindle_system_audio.m4a" : "pindle_recording.m4a";
        QCOMPARE(*events, QStringList({"url " + name, "recording"}));
        QCOMPARE(recorder->audioURL(), QUrl::fromLocalFile(m_tmp.filePath(name)));
        play(sink);
        finish(*recorder);
        QCOMPARE(*events, QStringList({"url " + name, "recording", "not recording",
                                       "finished " + name + " ok"}));

        const QString path = recorder->audioURL().toLocalFile();
        const Probe file = probe(path);
        QCOMPARE(file.codec, "aac");
        QCOMPARE(file.sampleRate, 12000);
        QCOMPARE(file.channels, systemAudio ? 2 : 1);
        QVERIFY2(file.seconds > m_speechSeconds - 0.2 && file.seconds < m_speechSeconds + 3,
                 qPrintable(QString::number(file.seconds)));
        QVERIFY2(heard ? file.loudest > -20 : file.loudest < -60,
                 qPrintable(QString::number(file.loudest)));

        // The next recording, a short one, overwrites the file.
        await(recorder->startRecording());
        finish(*recorder);
        QCOMPARE(recorder->audioURL().toLocalFile(), path);
        QCOMPARE(events->count("url " + name), 1);
        const double next = probe(path).seconds;
        QVERIFY2(next < file.seconds - 1,
                 qPrintable(QString("%1 then %2").arg(file.seconds).arg(next)));
    }

    void aMissingModuleIsTold() {
        AudioCaptureModule missing(QStringLiteral("/nonexistent/pindle-audio.so"));
        QCOMPARE(failureOf<AudioCapture::Error>(missing.startRecording({})),
                 "Pindle's sound recording module (pindle-audio.so) is not installed.");
    }

    void failureChangesNothing_data() {
        QTest::addColumn<QString>("server"); // "daemon:" and a module: one started for the case
        QTest::addColumn<bool>("systemAudio");
        QTest::addColumn<QString>("tmpdir");
        QTest::addColumn<Reason>("reason");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const QString &server, bool systemAudio,
                            const QString &tmpdir, Reason reason, const QString &message) {
            QTest::newRow(name) << server << systemAudio << tmpdir << reason << message;
        };
        const QString nowhere = "unix:/nonexistent/pindle-pulse";
        const QString noMicrophone = "No microphone was found.";
        row("no server", nowhere, false, "", Reason::NoSoundServer,
            "No sound server is running (PulseAudio or PipeWire).");
        row("no devices, microphone", "daemon:", false, "", Reason::NoSource, noMicrophone);
        row("no devices, system audio", "daemon:", true, "", Reason::NoMonitorSource,
            "No sound output device");
        // The server then offers the speaker's monitor as the default source.
        row("only a speaker, microphone", "daemon:module-null-sink", false, "", Reason::NoSource,
            noMicrophone);
        row("no temporary folder", "", false, "/nonexistent/pindle", Reason::Failed,
            "The temporary folder /nonexistent/pindle does not exist.");
        // A folder where the file should be: refused even to root.
        const QString blocked = m_tmp.filePath("blocked");
        QDir(blocked).mkpath("pindle_system_audio.m4a");
        row("file cannot be written", "", true, blocked, Reason::Failed,
            "The recording could not be written to " + blocked +
                "/pindle_system_audio.m4a: Is a directory.");
    }
    void failureChangesNothing() {
        QFETCH(QString, server);
        QFETCH(bool, systemAudio);
        QFETCH(QString, tmpdir);
        QFETCH(Reason, reason);
        QFETCH(QString, message);
        std::unique_ptr<Daemon> daemon;
        if (server.startsWith("daemon:")) {
            daemon = std::make_unique<Daemon>(server.mid(7).isEmpty() ? QStringList()
                                                                      : QStringList{server.mid(7)});
            server = daemon->address;
        }
        if (!tmpdir.isEmpty())
            qputenv("TMPDIR", QFile::encodeName(tmpdir));
        const auto restore =
            qScopeGuard([this] { qputenv("TMPDIR", QFile::encodeName(m_tmp.path())); });
        PulseAudioCapture capture(server);
        const std::unique_ptr<AudioRecorder> recorder = makeRecorder(systemAudio, capture);
        const QStringList *events = observe(*recorder);
        try {
            await(recorder->startRecording());
            QFAIL("the recording started");
        } catch (const RecordingError &error) {
            QCOMPARE(error.reason(), reason);
            QVERIFY2(error.message().startsWith(message), qPrintable(error.message()));
        }
        QVERIFY(!recorder->isRecording());
        QVERIFY(recorder->audioURL().isEmpty());
        QCOMPARE(*events, QStringList());
    }

    void serverGoingAwayEndsTheRecording() {
        Daemon daemon({"module-null-sink sink_name=out"});
        PulseAudioCapture capture(daemon.address);
        SystemAudioRecorder recorder(capture);
        const QStringList *events = observe(recorder);
        await(recorder.startRecording());
        QSignalSpy finished(&recorder, &AudioRecorder::recordingFinished);
        daemon.kill();
        QVERIFY(finished.wait(10000));
        QCOMPARE(*events, QStringList({"url pindle_system_audio.m4a", "recording", "not recording",
                                       "finished pindle_system_audio.m4a bad"}));
        QCOMPARE(probe(recorder.audioURL().toLocalFile()).codec, "aac"); // still readable
    }

    void crashLeavesAReadableFile() {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--record-until-killed"});
        QVERIFY(child.waitForReadyRead(10000));
        play("micfeed");
        child.kill();
        child.waitForFinished();
        const QString path = m_tmp.filePath("pindle_recording.m4a");
        const Probe file = probe(path);
        QCOMPARE(file.codec, "aac");
        QVERIFY2(file.seconds > m_speechSeconds - 1, qPrintable(QString::number(file.seconds)));
        QVERIFY(file.loudest > -20);
    }

    void destroyingTheRecorderCompletesTheFile() {
        auto recorder = std::make_unique<AudioRecorder>(m_capture);
        await(recorder->startRecording());
        const QString path = recorder->audioURL().toLocalFile();
        play("micfeed");
        recorder.reset();
        const Probe file = probe(path);
        QVERIFY(file.seconds > m_speechSeconds - 0.2 && file.loudest > -20);

        // Gone while still starting.
        recorder = std::make_unique<AudioRecorder>(m_capture);
        QCoro::Task<void> starting = recorder->startRecording();
        recorder.reset();
        await(std::move(starting));
    }
};

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--record-until-killed") == 0)
        return recordUntilKilled();
    AudioRecorderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_audiorecorder.moc"
