#pragma once

#include "services/AudioRecorder.h"

/// Records what the computer plays (the monitor of the sound server's default sink, so no virtual
/// driver is needed), stereo, into `pindle_system_audio.m4a` in the temporary folder; otherwise
/// the same recorder as `AudioRecorder`. Without an output device, starting fails with
/// `RecordingError::Reason::NoMonitorSource`.
class SystemAudioRecorder final : public AudioRecorder {
    Q_OBJECT

public:
    /// `capture` must outlive the recorder.
    explicit SystemAudioRecorder(AudioCapture &capture, QObject *parent = nullptr);
};
