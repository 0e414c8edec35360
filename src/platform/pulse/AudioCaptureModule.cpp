#include "platform/pulse/AudioCaptureModule.h"

#include "platform/modules/PindleModule.h"

#include <QCoreApplication>

AudioCaptureModule::AudioCaptureModule(QString fallbackPath)
    : m_fallbackPath(std::move(fallbackPath)) {}

QCoro::Task<std::unique_ptr<AudioCapture::Recording>>
AudioCaptureModule::startRecording(Settings settings) {
    co_return co_await capture().startRecording(std::move(settings));
}

AudioCapture &AudioCaptureModule::capture() {
    if (m_capture)
        return *m_capture;
    QString problem;
    using Create = AudioCapture *(*)();
    if (const auto create = reinterpret_cast<Create>(
            PindleModule::resolve(fileName, entryPoint, m_fallbackPath, problem))) {
        m_capture.reset(create());
        return *m_capture;
    }
    throw Error(
        Failure::Failed,
        problem.isEmpty()
            //: %1 is the module's file name
            ? QCoreApplication::translate("AudioCaptureModule",
                                          "Pindle's sound recording module (%1) is not installed.")
                  .arg(QLatin1String(fileName))
            //: %1 is the system's explanation (untranslated)
            : QCoreApplication::translate("AudioCaptureModule",
                                          "Pindle's sound recording module could not be loaded: %1")
                  .arg(problem));
}
