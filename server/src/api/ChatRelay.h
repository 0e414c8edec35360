#pragma once

#include "ModelProvider.h"
#include "api/Billing.h"
#include "api/HttpExchange.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pindle {

/// Carries one chat answer from the model provider to the client and settles its reservation.
/// A streamed answer passes on line by line as the events arrive, with the provider's own
/// `[DONE]` held back and sent once at the very end. The answer is whole only when the provider
/// said so (its `[DONE]`, or a choice with a `finish_reason`); otherwise a note that it was cut
/// off goes first, however the stream ended;
/// a one-shot answer is checked and passed on whole. What is charged is the provider's usage
/// report, or, without one, the prompt's estimate plus one token per event passed on.
/// Fed only from the provider thread, in the order of ProviderHandlers.
class ChatRelay final {
public:
    ChatRelay(std::shared_ptr<Responder> client, bool stream, Billing &billing,
              Reservation reservation, std::int64_t promptEstimate);

    /// Handlers for the provider's transfer that feed `relay` and keep it alive until the end.
    [[nodiscard]] static ProviderHandlers handlers(const std::shared_ptr<ChatRelay> &relay);

    void status(long status);
    void data(std::string_view bytes);
    void done(const std::string &error);

private:
    void passLines(std::string_view bytes);
    void finishStream(const std::string &error);
    void finishReply(const std::string &error);
    [[nodiscard]] std::int64_t used() const;

    std::shared_ptr<Responder> m_client;
    Billing &m_billing;
    Reservation m_reservation;
    std::int64_t m_promptEstimate;
    bool m_stream;
    long m_status = 0;
    bool m_streaming = false;
    std::string m_pending; // an unfinished line, or the whole body when not streaming
    std::int64_t m_reportedTokens = -1;
    std::int64_t m_forwardedLines = 0;
    bool m_tooLarge = false;
    bool m_complete = false;     // the provider said the answer is whole
    bool m_providerDone = false; // its [DONE] came: nothing after it is passed on
    bool m_atEventEnd = true;    // the last line passed on was the blank one ending an event
};

} // namespace pindle
