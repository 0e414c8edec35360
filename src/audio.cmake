# Audio capture and recording: the recorders are services (Qt Core only); the capture over
# PulseAudio and the AAC file writer over FFmpeg are a platform realisation of their own.
target_sources(pindle_models_services PRIVATE
    platform/AudioCapture.h
    services/AudioRecorder.cpp
    services/AudioRecorder.h
    services/SystemAudioRecorder.cpp
    services/SystemAudioRecorder.h)

find_package(PkgConfig REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Concurrent)
pkg_check_modules(PindlePulse REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(PindleLibav REQUIRED IMPORTED_TARGET
    libavcodec libavformat libavutil libswresample)

add_library(pindle_platform_audio STATIC
    platform/media/AacFileWriter.cpp
    platform/media/AacFileWriter.h
    platform/pulse/PulseAudioCapture.cpp
    platform/pulse/PulseAudioCapture.h
    platform/pulse/PulseRecordingSession.cpp
    platform/pulse/PulseRecordingSession.h)
target_link_libraries(pindle_platform_audio
    PUBLIC pindle_platform_api
    PRIVATE PkgConfig::PindlePulse PkgConfig::PindleLibav Qt6::Concurrent pindle_product_settings)
