#include "models/RecordingControls.h"

#include "models/ChatViewModel.h"
#include "services/AudioRecorder.h"

#include <QPointer>

RecordingControls::RecordingControls(AudioRecorder &microphone, AudioRecorder &systemAudio,
                                     ChatViewModel &conversation, QObject *parent)
    : QObject(parent)
    , m_microphone(microphone)
    , m_systemAudio(systemAudio)
    , m_conversation(conversation) {
    connect(&microphone, &AudioRecorder::isRecordingChanged, this,
            &RecordingControls::microphoneRecordingChanged);
    connect(&systemAudio, &AudioRecorder::isRecordingChanged, this,
            &RecordingControls::systemAudioRecordingChanged);
    // Sent when the file is complete, which is after the recorder stopped recording.
    connect(&microphone, &AudioRecorder::recordingFinished, this, &RecordingControls::finished);
    connect(&systemAudio, &AudioRecorder::recordingFinished, this, &RecordingControls::finished);
    connect(&conversation, &ChatViewModel::isLoadingChanged, this, &RecordingControls::sendWaiting);
    for (const auto *recorder : {&microphone, &systemAudio})
        connect(recorder, &AudioRecorder::isRecordingChanged, this,
                &RecordingControls::enabledChanged);
    connect(&conversation, &ChatViewModel::isLoadingChanged, this,
            &RecordingControls::enabledChanged);
}

bool RecordingControls::microphoneRecording() const {
    return m_microphone.isRecording();
}

bool RecordingControls::systemAudioRecording() const {
    return m_systemAudio.isRecording();
}

bool RecordingControls::microphoneEnabled() const {
    return microphoneRecording() || !m_conversation.isLoading();
}

bool RecordingControls::systemAudioEnabled() const {
    return systemAudioRecording() || !m_conversation.isLoading();
}

void RecordingControls::toggleMicrophone() {
    toggle(m_microphone);
}

void RecordingControls::toggleSystemAudio() {
    toggle(m_systemAudio);
}

void RecordingControls::discardRecordings() {
    m_waiting.clear();
    m_microphone.discardRecordings();
    m_systemAudio.discardRecordings();
}

void RecordingControls::toggle(AudioRecorder &recorder) {
    if (recorder.isRecording())
        recorder.stopRecording();
    else
        start(&recorder); // runs on; the click does not wait for the sound server
}

QCoro::Task<> RecordingControls::start(AudioRecorder *recorder) {
    QPointer self(this);
    try {
        co_await recorder->startRecording();
    } catch (const AudioRecorder::RecordingError &error) {
        if (!self)
            co_return;
        if (recorder == &m_systemAudio &&
            error.reason() == AudioRecorder::RecordingError::Reason::NoMonitorSource)
            Q_EMIT systemAudioDeviceMissing();
        else
            m_conversation.showError(error.message());
    }
}

void RecordingControls::finished(const QUrl &audioURL, bool successfully) {
    if (!successfully) {
        m_conversation.showError(tr("The recording stopped before it could be saved."));
        return;
    }
    // The conversation takes one request at a time: a recording that ends while an answer is
    // on its way waits for it instead of being dropped.
    m_waiting.append(audioURL.toLocalFile());
    sendWaiting();
}

void RecordingControls::sendWaiting() {
    while (!m_waiting.isEmpty() && !m_conversation.isLoading())
        m_conversation.sendAudioMessage(m_waiting.takeFirst());
}
