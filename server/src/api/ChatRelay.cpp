#include "api/ChatRelay.h"

#include "api/JsonReplies.h"
#include "api/ProviderReplies.h"

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
    // Pass whole lines on as they complete; keep the [DONE] marker for the very end.
    m_pending.append(bytes);
    std::string out;
    size_t start = 0;
    for (size_t end; (end = m_pending.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string_view line(m_pending.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.rfind("data: ", 0) == 0) {
            const std::string_view payload = line.substr(6);
            if (payload == "[DONE]")
                continue;
            ++m_forwardedLines;
            if (payload.find("\"usage\"") != std::string_view::npos) {
                const json chunk = json::parse(payload, nullptr, false);
                if (chunk.is_object())
                    m_reportedTokens = reportedUsage(chunk).value_or(m_reportedTokens);
            }
        }
        out.append(line).append("\n");
    }
    m_pending.erase(0, start);
    if (m_pending.size() > 1024 * 1024)
        m_pending.clear(); // one endless line: drop it rather than hold it
    if (!out.empty())
        m_client->streamChunk(std::move(out));
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
    if (!error.empty() && error != "cancelled") {
        const json notice{
            {"choices", json::array({json{{"delta", json{{"content", "\n\n[The answer was cut off: "
                                                                     "the model provider stopped "
                                                                     "responding.]"}}}}})}};
        m_client->streamChunk("data: " + notice.dump() + "\n\n");
    }
    if (error != "cancelled") {
        m_client->streamChunk("data: [DONE]\n\n");
        m_client->endStream();
    }
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
