#include "services/AudioRecorder.h"

#include <QDir>
#include <QFutureWatcher>
#include <QLoggingCategory>
#include <QPointer>
#include <QPromise>
#include <QScopeGuard>

#include <QCoroFuture>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcRecorder, "pindle.audio.recorder")

// Speech needs no more; the transcription service resamples to 16 kHz or less anyway.
constexpr int sampleRate = 12000;

bool savedWhole(const QFuture<bool> &finished) {
    return finished.resultCount() > 0 && finished.result();
}

} // namespace

AudioRecorder::RecordingError::RecordingError(Reason reason, QString message)
    : PindleError(std::move(message))
    , m_reason(reason) {}

AudioRecorder::AudioRecorder(AudioCapture &capture, QObject *parent)
    // The top of the codec's quality range for one channel at this rate.
    : AudioRecorder(
          capture,
          {AudioCapture::Device::Microphone, 1, 48000, QStringLiteral("pindle_recording.m4a")},
          parent) {}

AudioRecorder::AudioRecorder(AudioCapture &capture, Configuration configuration, QObject *parent)
    : QObject(parent)
    , m_capture(capture)
    , m_configuration(std::move(configuration)) {}

AudioRecorder::~AudioRecorder() {
    ++m_request;
    // Stop them all first so their files are completed side by side, then wait for each.
    for (Capture &capture : m_captures) {
        capture.watcher.reset();
        capture.recording->stop();
    }
    m_captures.clear();
}

QCoro::Task<void> AudioRecorder::startRecording() {
    const QString folder = QDir::tempPath();
    if (folder.isEmpty()) // Qt's answer when TMPDIR names a folder that does not exist
        throw RecordingError(RecordingError::Reason::Failed,
                             //: %1 is the folder's path
                             tr("The temporary folder %1 does not exist.")
                                 .arg(qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"))));
    const QString path = QDir(folder).filePath(m_configuration.fileName);
    const QUrl url = QUrl::fromLocalFile(path);

    const quint64 request = ++m_request;
    const QPointer<AudioRecorder> self(this);
    // Starts take turns: each waits until the one before it has settled, so two captures never
    // open the file together.
    QPromise<void> settled;
    settled.start();
    const auto settle = qScopeGuard([&settled] { settled.finish(); }); // however the body is left
    const QFuture<void> previous = std::exchange(m_lastStart, settled.future());

    discardCurrent();
    co_await previous;
    if (!self || request != m_request)
        co_return;
    // The discarded or stopped recordings still write the file until they have closed it.
    for (;;) {
        const QFuture<bool> open = anyOpenFile();
        if (open.isFinished())
            break;
        co_await open;
        if (!self || request != m_request)
            co_return;
    }

    AudioCapture::Settings settings{m_configuration.device, sampleRate, m_configuration.channels,
                                    m_configuration.bitRate, path};
    std::unique_ptr<AudioCapture::Recording> recording;
    try {
        // WORKAROUND: g++ 12 can destroy a temporary of a co_await expression twice; the awaited
        // task is named first. Remove once g++ 12 (Debian 12) is no longer a compiler we build
        // with.
        QCoro::Task<std::unique_ptr<AudioCapture::Recording>> starting =
            m_capture.startRecording(std::move(settings));
        recording = co_await std::move(starting);
    } catch (const AudioCapture::Error &error) {
        if (!self || request != m_request) {
            // Overtaken: the later start or the stop is what the user asked for last.
            qCWarning(lcRecorder) << "A replaced recording did not start:" << error.message();
            co_return;
        }
        setRecording(false); // a recording this start replaced is gone
        throw RecordingError(error.failure(), error.message());
    }

    if (!self) {
        recording->stop();
        const QFuture<bool> closed = recording->finished();
        co_await closed;
        co_return;
    }
    if (request != m_request) {
        adopt(std::move(recording), url, false);
        co_return;
    }
    adopt(std::move(recording), url, true);
    m_current = m_captures.back().recording.get();
    if (m_audioUrl != url) {
        m_audioUrl = url;
        Q_EMIT audioURLChanged();
    }
    setRecording(true);
}

void AudioRecorder::stopRecording() {
    ++m_request; // a start still on its way ends without recording
    if (m_current) {
        m_current->stop();
        m_current = nullptr;
    }
    setRecording(false);
}

void AudioRecorder::discardRecordings() {
    for (Capture &capture : m_captures)
        capture.announce = false;
    stopRecording();
}

void AudioRecorder::adopt(std::unique_ptr<AudioCapture::Recording> recording, const QUrl &url,
                          bool announce) {
    if (!announce)
        recording->stop();
    auto watcher = std::make_unique<QFutureWatcher<bool>>();
    AudioCapture::Recording *const key = recording.get();
    connect(watcher.get(), &QFutureWatcherBase::finished, this,
            [this, key] { onCaptureFinished(key); });
    watcher->setFuture(recording->finished());
    m_captures.push_back({std::move(recording), std::move(watcher), url, announce});
}

void AudioRecorder::onCaptureFinished(AudioCapture::Recording *recording) {
    const auto it =
        std::find_if(m_captures.begin(), m_captures.end(),
                     [recording](const Capture &c) { return c.recording.get() == recording; });
    if (it == m_captures.end())
        return;
    const bool announce = it->announce;
    const QUrl url = it->url;
    const bool successfully = savedWhole(recording->finished());
    // The watcher is the sender of this call.
    it->watcher.release()->deleteLater();
    m_captures.erase(it);
    if (recording == m_current) { // it ended on its own
        m_current = nullptr;
        setRecording(false);
    }
    if (announce)
        Q_EMIT recordingFinished(url, successfully);
}

void AudioRecorder::discardCurrent() {
    if (!m_current)
        return;
    for (Capture &capture : m_captures) {
        if (capture.recording.get() == m_current)
            capture.announce = false;
    }
    m_current->stop();
    m_current = nullptr;
}

QFuture<bool> AudioRecorder::anyOpenFile() const {
    for (const Capture &capture : m_captures) {
        if (QFuture<bool> finished = capture.recording->finished(); !finished.isFinished())
            return finished;
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    return QtFuture::makeReadyValueFuture(true);
#else
    return QtFuture::makeReadyFuture(true);
#endif
}

void AudioRecorder::setRecording(bool recording) {
    if (m_isRecording == recording)
        return;
    m_isRecording = recording;
    Q_EMIT isRecordingChanged();
}
