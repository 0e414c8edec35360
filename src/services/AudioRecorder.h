#pragma once

#include "core/PindleError.h"
#include "platform/AudioCapture.h"

#include <QFuture>
#include <QObject>
#include <QUrl>

#include <QCoroTask>

#include <memory>
#include <vector>

template <typename T> class QFutureWatcher;

/// Records the microphone (the sound server's default source), mono, as AAC at 12 kHz in
/// `pindle_recording.m4a` in the temporary folder; each recording overwrites the last and the file
/// is never deleted. One recording runs at a time: starting again discards the running one (no
/// finish notification for it) and waits until its file is closed before the new one opens it, and
/// of starts that overlap only the last one ends up recording. `recordingFinished` arrives once the
/// file is complete, whether the recording was stopped or ended on its own.
class AudioRecorder : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged FINAL)
    /// The file's URL: empty until the first start, never cleared.
    Q_PROPERTY(QUrl audioURL READ audioURL NOTIFY audioURLChanged FINAL)

public:
    /// A recording that could not start; `reason()` tells the cases the user is told apart.
    class RecordingError final : public PindleError {
    public:
        using Reason = AudioCapture::Failure;

        RecordingError(Reason reason, QString message);
        [[nodiscard]] Reason reason() const noexcept { return m_reason; }

    private:
        Reason m_reason;
    };

    /// `capture` must outlive the recorder.
    explicit AudioRecorder(AudioCapture &capture, QObject *parent = nullptr);
    /// Ends a running recording and waits until its file is closed.
    ~AudioRecorder() override;

    [[nodiscard]] bool isRecording() const { return m_isRecording; }
    [[nodiscard]] QUrl audioURL() const { return m_audioUrl; }

    /// Throws `RecordingError` when the recording cannot start; the recorder's state is then as it
    /// was, except that a recording this start replaced is gone. A start overtaken by a later start
    /// or by `stopRecording()` returns without recording.
    QCoro::Task<void> startRecording();
    /// Asks the running recording to end; `recordingFinished` follows once its file is complete.
    Q_INVOKABLE void stopRecording();
    /// Ends the running recording like `stopRecording()`, but neither it nor a stopped recording
    /// whose file is still being completed sends `recordingFinished`.
    void discardRecordings();

Q_SIGNALS:
    void isRecordingChanged();
    void audioURLChanged();
    void recordingFinished(const QUrl &audioURL, bool successfully);

protected:
    /// What one kind of recorder records, and where to.
    struct Configuration {
        AudioCapture::Device device;
        int channels;
        int bitRate;
        QString fileName; ///< in the temporary folder
    };

    AudioRecorder(AudioCapture &capture, Configuration configuration, QObject *parent);

private:
    // A capture whose file is not closed yet.
    struct Capture {
        std::unique_ptr<AudioCapture::Recording> recording;
        std::unique_ptr<QFutureWatcher<bool>> watcher;
        QUrl url;
        bool announce = true; // false once discarded
    };

    void adopt(std::unique_ptr<AudioCapture::Recording> recording, const QUrl &url, bool announce);
    void onCaptureFinished(AudioCapture::Recording *recording);
    void discardCurrent();
    [[nodiscard]] QFuture<bool> anyOpenFile() const;
    void setRecording(bool recording);

    AudioCapture &m_capture;
    const Configuration m_configuration;
    bool m_isRecording = false;
    QUrl m_audioUrl;
    // Raised by every start and stop: a start that finds it changed after an await was overtaken.
    quint64 m_request = 0;
    // Completes when the latest start has settled; each start waits for the one before it.
    QFuture<void> m_lastStart;
    std::vector<Capture> m_captures;
    AudioCapture::Recording *m_current = nullptr; // the published recording, in m_captures
};
