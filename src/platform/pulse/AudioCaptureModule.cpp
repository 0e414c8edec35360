#include "platform/pulse/AudioCaptureModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef PINDLE_AUDIO_MODULE_DIR
#define PINDLE_AUDIO_MODULE_DIR "../lib/pindle"
#endif

AudioCaptureModule::AudioCaptureModule(QString fallbackPath)
    : m_fallbackPath(std::move(fallbackPath)) {}

QCoro::Task<std::unique_ptr<AudioCapture::Recording>>
AudioCaptureModule::startRecording(Settings settings) {
    co_return co_await capture().startRecording(std::move(settings));
}

AudioCapture &AudioCaptureModule::capture() {
    if (m_capture)
        return *m_capture;
    const QDir executable(QCoreApplication::applicationDirPath());
    QStringList candidates{
        executable.filePath(QLatin1String(fileName)),
        executable.filePath(QStringLiteral(PINDLE_AUDIO_MODULE_DIR "/") + QLatin1String(fileName))};
    if (!m_fallbackPath.isEmpty())
        candidates.append(m_fallbackPath);
    QStringList problems;
    for (const QString &candidate : std::as_const(candidates)) {
        if (!QFileInfo::exists(candidate))
            continue;
        // Never unloaded: recordings and their threads run the module's code until they end.
        QLibrary library(candidate);
        library.setLoadHints(QLibrary::PreventUnloadHint);
        using Create = AudioCapture *(*)();
        if (const auto create = reinterpret_cast<Create>(library.resolve(entryPoint))) {
            m_capture.reset(create());
            return *m_capture;
        }
        problems.append(library.errorString());
    }
    throw Error(Failure::Failed,
                problems.isEmpty()
                    ? QStringLiteral("Pindle's sound recording module (%1) is not installed.")
                          .arg(QLatin1String(fileName))
                    : QStringLiteral("Pindle's sound recording module could not be loaded: %1")
                          .arg(problems.join(QStringLiteral("; "))));
}
