#pragma once

#include "ModelProvider.h"
#include "api/Billing.h"
#include "api/HttpExchange.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pindle {

/// Carries one chat answer from the model provider to the client and settles its reservation.
///
/// A streamed answer's head goes to the client as soon as the provider's does (with 200), or
/// after a short grace without it (which lets an immediate refusal still go back as a status);
/// while the provider is quiet, a comment line every so often keeps the client waiting. The
/// provider's events pass on line by line as they arrive, each data line in one form ("data: "
/// and the payload); its comments and other fields do not, and its own `[DONE]` is held back and
/// sent once at the very end. The answer is whole only when the provider said so (its `[DONE]`,
/// or a choice with a `finish_reason` other than "error"); otherwise a note saying why it was
/// cut off goes first, however the stream ended: an error the provider reported in the stream
/// (nothing after it passes on), a refusal that came after the head went out, or a provider
/// that went silent.
///
/// A one-shot answer is checked and passed on whole. What is charged is the provider's usage
/// report, or, without one, the prompt's estimate plus one token per data line passed on;
/// nothing for a refusal. Fed only from its transfer's provider thread, in the order of
/// ProviderHandlers.
class ChatRelay final {
public:
    /// When a streamed answer's client hears from the server while the provider is quiet.
    struct Timing;

    ChatRelay(std::shared_ptr<Responder> client, bool stream, Billing &billing,
              Reservation reservation, std::int64_t promptEstimate, Timing timing);

    /// Handlers for the provider's transfer that feed `relay` and keep it alive until the end.
    [[nodiscard]] static ProviderHandlers handlers(const std::shared_ptr<ChatRelay> &relay);

    void status(const ProviderHead &head);
    void status(long code) { status(ProviderHead{code}); }
    /// False once the provider's transfer should stop: it reported an error in the stream.
    bool data(std::string_view bytes);
    void done(const std::string &error);
    /// The provider has been quiet: begins the stream when its grace is over, writes a comment
    /// when the client has heard nothing for keepAlive; returns when to be asked again (zero for
    /// never).
    std::chrono::milliseconds quiet();

    /// The comment that keeps a waiting client's connection alive.
    static constexpr std::string_view keepAliveComment = ": waiting for the model\n";

private:
    using Clock = std::chrono::steady_clock;

    void beginStream();
    void write(std::string text);
    void passLines(std::string_view bytes);
    void passLine(std::string_view line, std::string &out);
    void passData(std::string_view payload, std::string &out);
    void streamError(std::string_view payload, bool errorEvent);
    void finishStream(const std::string &error);
    void finishReply(const std::string &error);
    [[nodiscard]] std::int64_t used() const;

    std::shared_ptr<Responder> m_client;
    Billing &m_billing;
    Reservation m_reservation;
    std::int64_t m_promptEstimate;
    bool m_stream;
    std::chrono::milliseconds m_keepAlive;
    ProviderHead m_head;     // status 0 until the provider's head has come
    bool m_begun = false;    // the client has its stream's head
    bool m_relaying = false; // ... and the provider's 200: its events pass on
    bool m_finished = false;
    Clock::time_point m_lastWrite; // when the client last got anything (or asked)
    std::string m_pending;         // an unfinished line, or the whole body when not relaying
    std::int64_t m_reportedTokens = -1;
    std::int64_t m_forwardedLines = 0;
    bool m_tooLarge = false;
    bool m_complete = false;     // the provider said the answer is whole
    bool m_providerDone = false; // its [DONE] or an error came: nothing after it is passed on
    bool m_atEventEnd = true;    // nothing of an event has passed on since the last blank line
    std::string m_eventType;     // the provider's "event:" field for the event under way
    std::optional<std::string> m_streamError; // why the stream was cut off, from the provider
};

struct ChatRelay::Timing {
    /// How long a streamed answer waits for the provider's head before sending its own.
    std::chrono::milliseconds grace{1000};
    /// The longest the client goes without a byte while the provider is quiet.
    std::chrono::milliseconds keepAlive{15000};
};

} // namespace pindle
