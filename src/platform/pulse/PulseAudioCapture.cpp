#include "platform/pulse/PulseAudioCapture.h"

#include "platform/pulse/PulseRecordingSession.h"

#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

#include <optional>

namespace {

class PulseRecording final : public AudioCapture::Recording {
public:
    explicit PulseRecording(std::shared_ptr<PulseRecordingSession> session)
        : m_session(std::move(session)) {}
    ~PulseRecording() override {
        m_session->requestFinish();
        m_session->finished().waitForFinished();
    }

    void stop() override { m_session->requestFinish(); }
    [[nodiscard]] QFuture<bool> finished() const override { return m_session->finished(); }

private:
    std::shared_ptr<PulseRecordingSession> m_session;
};

struct Opening {
    std::shared_ptr<PulseRecordingSession> session;
    std::optional<AudioCapture::Error> error;
};

} // namespace

PulseAudioCapture::PulseAudioCapture(QString server)
    : m_server(server.toUtf8()) {}

QCoro::Task<std::unique_ptr<AudioCapture::Recording>>
PulseAudioCapture::startRecording(Settings settings) {
    // Connecting waits for the server's answers: on a worker. Nothing here touches `this` after
    // the await, so the capture may go before a start it began has finished.
    QFuture<Opening> opening =
        QtConcurrent::run([settings = std::move(settings), server = m_server]() -> Opening {
            try {
                return {PulseRecordingSession::open(settings, server), std::nullopt};
            } catch (const AudioCapture::Error &error) {
                return {nullptr, error};
            }
        });
    Opening opened = co_await opening;
    if (!opened.session)
        throw *opened.error;
    co_return std::make_unique<PulseRecording>(std::move(opened.session));
}
