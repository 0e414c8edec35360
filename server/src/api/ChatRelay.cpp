#include "api/ChatRelay.h"

#include "api/JsonReplies.h"
#include "api/ProviderReplies.h"

#include <algorithm>

namespace pindle {

using nlohmann::json;

namespace {

// The provider's count of the tokens an answer used, when the object carries one.
std::optional<std::int64_t> reportedUsage(const json &object) {
    const auto usage = object.find("usage");
    if (usage != object.end() && usage->is_object() && usage->contains("total_tokens") &&
        (*usage)["total_tokens"].is_number_integer())
        return (*usage)["total_tokens"].get<std::int64_t>();
    return std::nullopt;
}

// Whether a streamed event ends the answer: a choice that has a finish_reason.
bool finishesAnswer(const json &event) {
    const auto choices = event.find("choices");
    if (choices == event.end() || !choices->is_array())
        return false;
    return std::any_of(choices->begin(), choices->end(), [](const json &choice) {
        const auto reason = choice.is_object() ? choice.find("finish_reason") : choice.end();
        return reason != choice.end() && reason->is_string();
    });
}

} // namespace

ChatRelay::ChatRelay(std::shared_ptr<Responder> client, bool stream, Billing &billing,
                     Reservation reservation, std::int64_t promptEstimate)
    : m_client(std::move(client))
    , m_billing(billing)
    , m_reservation(std::move(reservation))
    , m_promptEstimate(promptEstimate)
    , m_stream(stream) {}

ProviderHandlers ChatRelay::handlers(const std::shared_ptr<ChatRelay> &relay) {
    return {[relay](long status) { relay->status(status); },
            [relay](std::string_view bytes) { relay->data(bytes); },
            [relay](const std::string &error) { relay->done(error); }};
}

void ChatRelay::status(long status) {
    m_status = status;
    if (status == 200 && m_stream) {
        m_streaming = true;
        m_client->beginStream(200, "text/event-stream");
    }
}

void ChatRelay::data(std::string_view bytes) {
    if (m_streaming)
        return passLines(bytes);
    const size_t cap = m_status == 200 ? maxProviderReply : maxProviderError;
    if (m_pending.size() + bytes.size() > cap)
        m_tooLarge = true;
    else
        m_pending.append(bytes);
}

void ChatRelay::passLines(std::string_view bytes) {
    // Pass whole lines on as they complete; keep the [DONE] marker for the very end, and drop
    // what follows it (its blank line), so the client gets exactly one.
    m_pending.append(bytes);
    std::string out;
    size_t start = 0;
    for (size_t end; (end = m_pending.find('\n', start)) != std::string::npos; start = end + 1) {
        if (m_providerDone)
            continue;
        std::string_view line(m_pending.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.rfind("data:", 0) == 0) {
            std::string_view payload = line.substr(5);
            if (!payload.empty() && payload.front() == ' ')
                payload.remove_prefix(1);
            if (payload == "[DONE]") {
                m_providerDone = m_complete = true;
                continue;
            }
            ++m_forwardedLines;
            const bool usage = payload.find("\"usage\"") != std::string_view::npos;
            const bool finish = payload.find("\"finish_reason\"") != std::string_view::npos;
            if (usage || finish) {
                const json event = json::parse(payload, nullptr, false);
                if (event.is_object()) {
                    m_reportedTokens = reportedUsage(event).value_or(m_reportedTokens);
                    m_complete = m_complete || finishesAnswer(event);
                }
            }
        }
        out.append(line).append("\n");
        m_atEventEnd = line.empty();
    }
    m_pending.erase(0, start);
    if (m_pending.size() > 1024 * 1024)
        m_pending.clear(); // one endless line: drop it rather than hold it
    if (!out.empty()) {
        m_client->streamChunk(std::move(out));
        m_billing.progress(m_reservation, used());
    }
}

void ChatRelay::done(const std::string &error) {
    if (m_streaming)
        finishStream(error);
    else
        finishReply(error);
}

std::int64_t ChatRelay::used() const {
    return m_reportedTokens >= 0 ? m_reportedTokens : m_promptEstimate + m_forwardedLines;
}

void ChatRelay::finishStream(const std::string &error) {
    if (error == "cancelled")
        return m_billing.settle(m_reservation, used());
    if (!m_pending.empty())
        passLines("\n"); // a last line the provider did not end
    // What the relay adds must not join the provider's last event.
    std::string ending = m_atEventEnd ? "" : "\n";
    // Only the provider can say an answer is whole; a stream that merely stopped, even cleanly,
    // was cut off.
    if (!m_complete) {
        const json notice{
            {"choices", json::array({json{{"delta", json{{"content", "\n\n[The answer was cut off: "
                                                                     "the model provider stopped "
                                                                     "responding.]"}}}}})}};
        ending += "data: " + notice.dump() + "\n\n";
    }
    m_client->streamChunk(ending + "data: [DONE]\n\n");
    m_client->endStream();
    m_billing.settle(m_reservation, used());
}

void ChatRelay::finishReply(const std::string &error) {
    if (error == "cancelled") // the provider may have answered: the prompt was spent
        return m_billing.settle(m_reservation, m_promptEstimate);
    if (!error.empty() || m_status != 200 || m_tooLarge)
        m_billing.settle(m_reservation, 0);
    if (const auto failure = providerFailure("chat", error, m_status, m_pending))
        return m_client->reply(*failure);
    if (m_tooLarge)
        return m_client->reply(errorResponse(502, "The model provider's reply was too large."));
    const auto reply = parseObject(m_pending);
    if (!reply) {
        m_billing.settle(m_reservation, m_promptEstimate);
        return m_client->reply(
            errorResponse(502, "The model provider's reply was not a JSON object."));
    }
    if (const auto usage = reportedUsage(*reply))
        m_reportedTokens = *usage;
    m_billing.settle(m_reservation, used());
    m_client->reply({200, "application/json", std::move(m_pending)});
}

} // namespace pindle
