#pragma once

#include "platform/AudioCapture.h"

/// Sound recording from a module of its own (pindle-audio.so), loaded with the first recording:
/// the sound server's client library and FFmpeg, with the few dozen libraries they pull in, are
/// mapped only once the user records. The module stays loaded from then on.
class AudioCaptureModule final : public AudioCapture {
public:
    /// The module's file name, and the function it exports to create its recorder.
    static constexpr char fileName[] = "pindle-audio.so";
    static constexpr char entryPoint[] = "pindleCreateAudioCapture";

    /// Where the module is looked for, in order: beside the executable (a build tree), in the
    /// library folder of the installation the executable belongs to, then `fallbackPath`.
    explicit AudioCaptureModule(QString fallbackPath = {});

    QCoro::Task<std::unique_ptr<Recording>> startRecording(Settings settings) override;

private:
    // Loads the module once; throws Error when it cannot.
    AudioCapture &capture();

    QString m_fallbackPath;
    std::unique_ptr<AudioCapture> m_capture;
};
