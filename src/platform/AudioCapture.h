#pragma once

#include "platform/PlatformError.h"

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <QCoroTask>

#include <exception>
#include <memory>

/// Records what the sound server hears into an AAC file: the microphone (the default source) or
/// the computer's own sound (the monitor of the default sink). Each started recording captures and
/// encodes on threads of its own until it is stopped or ends on its own; the file is complete once
/// its `finished()` future is.
class AudioCapture {
public:
    enum class Device {
        Microphone,   ///< the default source
        SystemOutput, ///< the monitor of the default sink
    };

    /// Why a recording could not start.
    enum class Failure {
        NoSoundServer,   ///< nothing answers where the sound server should be
        NoSource,        ///< no microphone
        NoMonitorSource, ///< no output device whose sound could be recorded
        Failed,          ///< the file, the encoder or the sound server refused
    };

    /// A recording that could not start, with the reason in words a user understands.
    class Error final : public PlatformError {
    public:
        Error(Failure failure, QString message)
            : PlatformError(std::move(message))
            , m_failure(failure) {}
        [[nodiscard]] Failure failure() const noexcept { return m_failure; }

    private:
        Failure m_failure;
    };

    struct Settings {
        Device device = Device::Microphone;
        int sampleRate = 12000;
        int channels = 1;
        int bitRate = 48000; ///< bits per second of the AAC stream
        QString filePath;    ///< overwritten
    };

    /// One running recording.
    class Recording {
    public:
        /// Ends a recording that is still running and waits until its file is closed: blocks, so
        /// call `stop()` and let `finished()` complete first wherever the caller must not wait.
        virtual ~Recording() = default;

        /// Asks the recording to end and returns at once; the file is completed in the background.
        virtual void stop() = 0;
        /// Completes once the file is closed, also when the recording ended on its own (the sound
        /// server went away, a write failed): true when everything heard until the stop was saved.
        [[nodiscard]] virtual QFuture<bool> finished() const = 0;
    };

    virtual ~AudioCapture() = default;

    /// Starts recording; the file is created or truncated only once the device is known to be
    /// there. Throws `Error` when the recording cannot start.
    virtual QCoro::Task<std::unique_ptr<Recording>> startRecording(Settings settings) = 0;
};
