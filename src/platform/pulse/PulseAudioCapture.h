#pragma once

#include "platform/AudioCapture.h"

/// Records through the PulseAudio client library, from PulseAudio itself or from PipeWire's
/// PulseAudio service. Each recording has its own connection and event thread, on which the sound
/// is encoded as it arrives; connecting and completing the file happen on worker threads, so the
/// caller's thread never waits for the sound server.
class PulseAudioCapture final : public AudioCapture {
public:
    /// `server` is written as in PULSE_SERVER ("unix:/path/to/socket"); empty means the user's own.
    explicit PulseAudioCapture(QString server = {});

    QCoro::Task<std::unique_ptr<Recording>> startRecording(Settings settings) override;

private:
    QByteArray m_server;
};
