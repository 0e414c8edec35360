#pragma once

#include "platform/AudioCapture.h"

#include <QFuture>
#include <QPromise>

#include <pulse/pulseaudio.h>

#include <atomic>
#include <memory>

class AacFileWriter;

/// One recording over its own sound-server connection: a threaded main loop whose thread reads the
/// stream and feeds the encoder, a file writer, and a future that completes once the file is
/// closed. Shared between the handle given to the caller and the worker that completes the file.
class PulseRecordingSession final : public std::enable_shared_from_this<PulseRecordingSession> {
public:
    /// Connects, finds the device, opens the stream and then the file. Blocks until the server
    /// has answered: call it on a worker. Throws `AudioCapture::Error`.
    [[nodiscard]] static std::shared_ptr<PulseRecordingSession>
    open(const AudioCapture::Settings &settings, const QByteArray &server);

    /// Completes the file first if nobody asked to (waits for that).
    ~PulseRecordingSession();
    PulseRecordingSession(const PulseRecordingSession &) = delete;
    PulseRecordingSession &operator=(const PulseRecordingSession &) = delete;

    /// Ends the recording; the file is completed on a worker. Returns at once, from any thread.
    void requestFinish();
    [[nodiscard]] QFuture<bool> finished() const { return m_finished; }

private:
    struct MainloopFree {
        void operator()(pa_threaded_mainloop *mainloop) const {
            pa_threaded_mainloop_free(mainloop);
        }
    };
    struct ContextUnref {
        void operator()(pa_context *context) const { pa_context_unref(context); }
    };
    struct StreamUnref {
        void operator()(pa_stream *stream) const { pa_stream_unref(stream); }
    };

    explicit PulseRecordingSession(AudioCapture::Settings settings);

    // These run with the main loop locked.
    void connect(const QByteArray &server);
    [[nodiscard]] QByteArray findSource();
    void connectStream(const QByteArray &source);
    void awaitOperation(pa_operation *operation);
    void readAvailable();
    void endOnItsOwn(QString why);

    void finalise();

    static void onContextState(pa_context *context, void *session);
    static void onStreamState(pa_stream *stream, void *session);
    static void onReadable(pa_stream *stream, size_t bytes, void *session);

    const AudioCapture::Settings m_settings;
    // Declared in the order they are built: the stream goes before the context, the context
    // before the main loop.
    std::unique_ptr<pa_threaded_mainloop, MainloopFree> m_mainloop;
    std::unique_ptr<pa_context, ContextUnref> m_context;
    std::unique_ptr<pa_stream, StreamUnref> m_stream;
    std::unique_ptr<AacFileWriter> m_writer;
    std::size_t m_frameBytes = 1;
    // Guarded by the main loop lock.
    bool m_running = false;
    QString m_failure; // why the recording ended on its own
    std::atomic<bool> m_finishing = false;
    QPromise<bool> m_promise;
    QFuture<bool> m_finished;
};
