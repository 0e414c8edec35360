#include "services/SystemAudioRecorder.h"

SystemAudioRecorder::SystemAudioRecorder(AudioCapture &capture, QObject *parent)
    // Music and voices together in stereo: twice the mono rate keeps the same quality per channel.
    : AudioRecorder(
          capture,
          {AudioCapture::Device::SystemOutput, 2, 96000, QStringLiteral("pindle_system_audio.m4a")},
          parent) {}
