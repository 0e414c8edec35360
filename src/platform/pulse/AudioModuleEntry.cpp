// The one function pindle-audio.so exports: the application creates its recorder through it.
#include "platform/pulse/PulseAudioCapture.h"

extern "C" Q_DECL_EXPORT AudioCapture *pindleCreateAudioCapture() {
    return new PulseAudioCapture;
}
