# Audio capture and recording: the recorder's states against a fake capture, and the recorders
# against a private PulseAudio daemon with null sinks.
pindle_add_test(tst_audiorecorderstate SOURCES unit/tst_audiorecorderstate.cpp
    LABELS headless audio)
pindle_add_test(tst_audiorecorder SOURCES integration/tst_audiorecorder.cpp
    LIBS pindle_platform_audio
    WRAPPER ${PROJECT_SOURCE_DIR}/scripts/with-pulse.sh
    LABELS audio)
