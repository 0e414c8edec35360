#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <QCoroTask>

class AudioRecorder;
class ChatViewModel;

/// The overlay's two record buttons. A click starts or stops its recorder; every recording that
/// finishes with its file complete goes to the conversation exactly once, as soon as it takes
/// requests again. A recorder that cannot start says why in the conversation's error line,
/// except that a missing monitor source raises the system-audio alert instead.
class RecordingControls final : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        bool microphoneRecording READ microphoneRecording NOTIFY microphoneRecordingChanged FINAL)
    Q_PROPERTY(bool systemAudioRecording READ systemAudioRecording NOTIFY
                   systemAudioRecordingChanged FINAL)
    /// Whether each button can be clicked: a running recording can always be stopped, and a new
    /// one starts only while no answer is on its way.
    Q_PROPERTY(bool microphoneEnabled READ microphoneEnabled NOTIFY enabledChanged FINAL)
    Q_PROPERTY(bool systemAudioEnabled READ systemAudioEnabled NOTIFY enabledChanged FINAL)

public:
    RecordingControls(AudioRecorder &microphone, AudioRecorder &systemAudio,
                      ChatViewModel &conversation, QObject *parent = nullptr);

    [[nodiscard]] bool microphoneRecording() const;
    [[nodiscard]] bool systemAudioRecording() const;
    [[nodiscard]] bool microphoneEnabled() const;
    [[nodiscard]] bool systemAudioEnabled() const;

    Q_INVOKABLE void toggleMicrophone();
    Q_INVOKABLE void toggleSystemAudio();
    /// Ends both recordings and forgets every recording not yet sent (the user signed out).
    void discardRecordings();

Q_SIGNALS:
    void microphoneRecordingChanged();
    void systemAudioRecordingChanged();
    void enabledChanged();
    /// The computer's sound cannot be recorded: the sound server has no monitor source.
    void systemAudioDeviceMissing();

private:
    void toggle(AudioRecorder &recorder);
    QCoro::Task<> start(AudioRecorder *recorder);
    void finished(const QUrl &audioURL, bool successfully);
    void sendWaiting();

    AudioRecorder &m_microphone;
    AudioRecorder &m_systemAudio;
    ChatViewModel &m_conversation;
    QStringList m_waiting; // finished recordings the conversation has not taken yet
};
