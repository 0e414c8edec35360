#include "platform/pulse/PulseRecordingSession.h"

#include "platform/media/AacFileWriter.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThreadPool>

#include <chrono>

namespace {

Q_LOGGING_CATEGORY(lcPulse, "pindle.audio.pulse")

using Error = AudioCapture::Error;
using Failure = AudioCapture::Failure;

// Audio still in the server when the recording stops is lost: keep the pieces short.
constexpr std::chrono::microseconds fragment = std::chrono::milliseconds(50);

class MainloopLock final {
public:
    explicit MainloopLock(pa_threaded_mainloop *mainloop)
        : m_mainloop(mainloop) {
        pa_threaded_mainloop_lock(m_mainloop);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(m_mainloop); }
    MainloopLock(const MainloopLock &) = delete;
    MainloopLock &operator=(const MainloopLock &) = delete;

private:
    pa_threaded_mainloop *m_mainloop;
};

struct ProplistFree {
    void operator()(pa_proplist *list) const { pa_proplist_free(list); }
};
struct OperationUnref {
    void operator()(pa_operation *operation) const { pa_operation_unref(operation); }
};

QString errorText(pa_context *context) {
    return QString::fromLocal8Bit(pa_strerror(pa_context_errno(context)));
}

Error noDevice(AudioCapture::Device device) {
    if (device == AudioCapture::Device::Microphone)
        return Error(Failure::NoSource, QCoreApplication::translate("PulseRecordingSession",
                                                                    "No microphone was found."));
    return Error(
        Failure::NoMonitorSource,
        QCoreApplication::translate("PulseRecordingSession",
                                    "No sound output device was found, so the computer's audio "
                                    "cannot be recorded."));
}

Error serverStoppedAnswering(pa_context *context) {
    return Error(Failure::Failed,
                 //: %1 is the sound server's explanation (untranslated)
                 QCoreApplication::translate("PulseRecordingSession",
                                             "The sound server stopped answering: %1.")
                     .arg(errorText(context)));
}

struct ServerReply {
    pa_threaded_mainloop *mainloop;
    QByteArray defaultSink;
    QByteArray defaultSource;
};

struct DeviceReply {
    pa_threaded_mainloop *mainloop;
    bool found = false;
    bool isMonitor = false;
    QByteArray monitorSource;
};

} // namespace

PulseRecordingSession::PulseRecordingSession(AudioCapture::Settings settings)
    : m_settings(std::move(settings))
    , m_finished(m_promise.future()) {
    m_promise.start();
}

PulseRecordingSession::~PulseRecordingSession() {
    if (!m_finishing.exchange(true))
        finalise();
}

std::shared_ptr<PulseRecordingSession>
PulseRecordingSession::open(const AudioCapture::Settings &settings, const QByteArray &server) {
    const std::shared_ptr<PulseRecordingSession> session(new PulseRecordingSession(settings));
    session->m_mainloop.reset(pa_threaded_mainloop_new());
    if (!session->m_mainloop || pa_threaded_mainloop_start(session->m_mainloop.get()) < 0)
        throw Error(Failure::Failed,
                    QCoreApplication::translate("PulseRecordingSession",
                                                "The sound system could not be started."));
    const MainloopLock lock(session->m_mainloop.get());
    session->connect(server);
    const QByteArray source = session->findSource();
    session->connectStream(source);
    // The file is touched only now that everything on the server's side is in place.
    try {
        session->m_writer = std::make_unique<AacFileWriter>(
            settings.filePath,
            AacFileWriter::Format{settings.sampleRate, settings.channels, settings.bitRate});
    } catch (const AacFileWriter::Error &error) {
        throw Error(Failure::Failed, error.message());
    }
    session->m_running = true;
    return session;
}

void PulseRecordingSession::connect(const QByteArray &server) {
    const std::unique_ptr<pa_proplist, ProplistFree> properties(pa_proplist_new());
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, "Pindle");
    pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_ID, "com.pindle.app");
    m_context.reset(pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_mainloop.get()),
                                                 "Pindle", properties.get()));
    if (!m_context)
        throw Error(Failure::Failed,
                    QCoreApplication::translate("PulseRecordingSession",
                                                "The sound system could not be started."));
    pa_context_set_state_callback(m_context.get(), &PulseRecordingSession::onContextState, this);
    // Never start a sound server of our own: say there is none instead.
    if (pa_context_connect(m_context.get(), server.isEmpty() ? nullptr : server.constData(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(m_context.get());
            if (state == PA_CONTEXT_READY)
                return;
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            pa_threaded_mainloop_wait(m_mainloop.get());
        }
    }
    switch (pa_context_errno(m_context.get())) {
    case PA_ERR_ACCESS:
    case PA_ERR_AUTHKEY:
    case PA_ERR_VERSION:
        //: %1 is the sound server's explanation (untranslated)
        throw Error(Failure::Failed,
                    QCoreApplication::translate("PulseRecordingSession",
                                                "The sound server refused the connection: %1.")
                        .arg(errorText(m_context.get())));
    default:
        throw Error(
            Failure::NoSoundServer,
            QCoreApplication::translate("PulseRecordingSession",
                                        "No sound server is running (PulseAudio or PipeWire)."));
    }
}

QByteArray PulseRecordingSession::findSource() {
    pa_threaded_mainloop *const mainloop = m_mainloop.get();
    ServerReply server{mainloop, {}, {}};
    awaitOperation(pa_context_get_server_info(
        m_context.get(),
        [](pa_context *, const pa_server_info *info, void *userdata) {
            auto *reply = static_cast<ServerReply *>(userdata);
            if (info) {
                reply->defaultSink = info->default_sink_name;
                reply->defaultSource = info->default_source_name;
            }
            pa_threaded_mainloop_signal(reply->mainloop, 0);
        },
        &server));

    DeviceReply device{mainloop, false, false, {}};
    if (m_settings.device == AudioCapture::Device::Microphone) {
        if (server.defaultSource.isEmpty())
            throw noDevice(m_settings.device);
        awaitOperation(pa_context_get_source_info_by_name(
            m_context.get(), server.defaultSource.constData(),
            [](pa_context *, const pa_source_info *info, int last, void *userdata) {
                auto *reply = static_cast<DeviceReply *>(userdata);
                if (!last && info) {
                    reply->found = true;
                    reply->isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
                }
                pa_threaded_mainloop_signal(reply->mainloop, 0);
            },
            &device));
        // Without a microphone the server offers a sink's monitor as the default source: that
        // would record the computer's own sound instead.
        if (!device.found || device.isMonitor)
            throw noDevice(m_settings.device);
        return server.defaultSource;
    }

    if (server.defaultSink.isEmpty())
        throw noDevice(m_settings.device);
    awaitOperation(pa_context_get_sink_info_by_name(
        m_context.get(), server.defaultSink.constData(),
        [](pa_context *, const pa_sink_info *info, int last, void *userdata) {
            auto *reply = static_cast<DeviceReply *>(userdata);
            if (!last && info && info->monitor_source_name) {
                reply->found = true;
                reply->monitorSource = info->monitor_source_name;
            }
            pa_threaded_mainloop_signal(reply->mainloop, 0);
        },
        &device));
    if (!device.found || device.monitorSource.isEmpty())
        throw noDevice(m_settings.device);
    return device.monitorSource;
}

void PulseRecordingSession::connectStream(const QByteArray &source) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, std::uint32_t(m_settings.sampleRate),
                              std::uint8_t(m_settings.channels)};
    m_frameBytes = pa_frame_size(&spec);
    pa_channel_map channels;
    pa_channel_map_init_auto(&channels, spec.channels, PA_CHANNEL_MAP_DEFAULT);
    // The name the desktop's volume control shows for the stream.
    const QByteArray name =
        (m_settings.device == AudioCapture::Device::Microphone
             ? QCoreApplication::translate("PulseRecordingSession", "Microphone recording")
             : QCoreApplication::translate("PulseRecordingSession", "System audio recording"))
            .toUtf8();
    m_stream.reset(pa_stream_new(m_context.get(), name.constData(), &spec, &channels));
    if (!m_stream)
        throw serverStoppedAnswering(m_context.get());
    pa_stream_set_state_callback(m_stream.get(), &PulseRecordingSession::onStreamState, this);
    pa_stream_set_read_callback(m_stream.get(), &PulseRecordingSession::onReadable, this);

    pa_buffer_attr buffer;
    buffer.maxlength = std::uint32_t(-1);
    buffer.tlength = buffer.prebuf = buffer.minreq = std::uint32_t(-1);
    buffer.fragsize = std::uint32_t(pa_usec_to_bytes(pa_usec_t(fragment.count()), &spec));
    if (pa_stream_connect_record(m_stream.get(), source.constData(), &buffer,
                                 PA_STREAM_ADJUST_LATENCY) >= 0) {
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream.get());
            if (state == PA_STREAM_READY)
                return;
            if (!PA_STREAM_IS_GOOD(state))
                break;
            pa_threaded_mainloop_wait(m_mainloop.get());
        }
    }
    if (pa_context_errno(m_context.get()) == PA_ERR_NOENTITY) // it went away meanwhile
        throw noDevice(m_settings.device);
    throw Error(Failure::Failed,
                //: %1 is the sound server's explanation (untranslated)
                QCoreApplication::translate("PulseRecordingSession",
                                            "The sound server refused to record: %1.")
                    .arg(errorText(m_context.get())));
}

void PulseRecordingSession::awaitOperation(pa_operation *operation) {
    if (!operation)
        throw serverStoppedAnswering(m_context.get());
    const std::unique_ptr<pa_operation, OperationUnref> owned(operation);
    // The context's state callback wakes us too, should the connection fail meanwhile.
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(m_mainloop.get());
    if (pa_operation_get_state(operation) != PA_OPERATION_DONE)
        throw serverStoppedAnswering(m_context.get());
}

void PulseRecordingSession::onContextState(pa_context *context, void *userdata) {
    auto *session = static_cast<PulseRecordingSession *>(userdata);
    pa_threaded_mainloop_signal(session->m_mainloop.get(), 0);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        session->endOnItsOwn(QStringLiteral("The connection to the sound server was lost (%1).")
                                 .arg(errorText(context)));
}

void PulseRecordingSession::onStreamState(pa_stream *stream, void *userdata) {
    auto *session = static_cast<PulseRecordingSession *>(userdata);
    pa_threaded_mainloop_signal(session->m_mainloop.get(), 0);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        session->endOnItsOwn(QStringLiteral("The sound server ended the recording (%1).")
                                 .arg(errorText(session->m_context.get())));
}

void PulseRecordingSession::onReadable(pa_stream *, size_t, void *userdata) {
    static_cast<PulseRecordingSession *>(userdata)->readAvailable();
}

void PulseRecordingSession::readAvailable() {
    // Every libpulse call costs a system call (its fork check), and this runs for each piece the
    // server sends, hundreds of times a second with a low-latency sink: make few calls.
    pa_stream *const stream = m_stream.get();
    for (;;) {
        const void *data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0) {
            endOnItsOwn(QStringLiteral("The recording could not be read: %1.")
                            .arg(errorText(m_context.get())));
            return;
        }
        if (bytes == 0)
            return;
        // No data with a length is a gap the server could not fill; before the file is open
        // (while starting), and after a failure, the sound is dropped.
        if (data && m_running) {
            try {
                m_writer->write(static_cast<const std::int16_t *>(data), int(bytes / m_frameBytes));
            } catch (const AacFileWriter::Error &error) {
                endOnItsOwn(error.message());
            }
        }
        pa_stream_drop(stream);
    }
}

void PulseRecordingSession::endOnItsOwn(QString why) {
    if (!m_running)
        return;
    m_running = false;
    m_failure = std::move(why);
    requestFinish();
}

void PulseRecordingSession::requestFinish() {
    if (m_finishing.exchange(true))
        return;
    // Stopping joins the main loop thread, which may be the caller: on a worker. Only the
    // destructor, which finishes by itself, can find no owner left here.
    if (const std::shared_ptr<PulseRecordingSession> self = weak_from_this().lock())
        QThreadPool::globalInstance()->start([self] { self->finalise(); });
}

void PulseRecordingSession::finalise() {
    QString failure;
    if (m_mainloop) {
        {
            const MainloopLock lock(m_mainloop.get());
            m_running = false;
            if (m_stream) {
                pa_stream_set_state_callback(m_stream.get(), nullptr, nullptr);
                pa_stream_set_read_callback(m_stream.get(), nullptr, nullptr);
                pa_stream_disconnect(m_stream.get());
            }
            if (m_context) {
                pa_context_set_state_callback(m_context.get(), nullptr, nullptr);
                pa_context_disconnect(m_context.get());
            }
            failure = m_failure;
        }
        pa_threaded_mainloop_stop(m_mainloop.get());
    }
    // The loop thread is gone: the writer is this thread's alone.
    bool saved = failure.isEmpty() && m_writer;
    if (m_writer) {
        try {
            m_writer->finish();
        } catch (const AacFileWriter::Error &error) {
            failure = error.message();
            saved = false;
        }
        m_writer.reset();
    }
    if (!failure.isEmpty())
        qCWarning(lcPulse).noquote() << "The recording ended early:" << failure;
    m_promise.addResult(saved);
    m_promise.finish();
}
