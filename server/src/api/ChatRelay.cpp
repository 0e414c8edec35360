#include "api/ChatRelay.h"

#include "Log.h"
#include "api/JsonReplies.h"
#include "api/ProviderReplies.h"

#include <algorithm>
#include <cctype>

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

// Whether any choice of a streamed event has a finish_reason that `counts`.
template <typename Predicate> bool anyFinishReason(const json &event, Predicate counts) {
    const auto choices = event.find("choices");
    if (choices == event.end() || !choices->is_array())
        return false;
    return std::any_of(choices->begin(), choices->end(), [&](const json &choice) {
        if (!choice.is_object())
            return false;
        const auto reason = choice.find("finish_reason");
        return reason != choice.end() && reason->is_string() &&
               counts(reason->get_ref<const std::string &>());
    });
}

// Whether a streamed event ends the answer whole: a choice finished for a reason other than an
// error.
bool finishesAnswer(const json &event) {
    return anyFinishReason(event, [](const std::string &reason) { return reason != "error"; });
}

// Whether a streamed event says the answer failed: an "error" member, or a choice finished by
// an error.
bool reportsError(const json &event) {
    const auto error = event.find("error");
    if (error != event.end() && !error->is_null() && *error != false)
        return true;
    return anyFinishReason(event, [](const std::string &reason) { return reason == "error"; });
}

} // namespace

ChatRelay::ChatRelay(std::shared_ptr<Responder> client, bool stream, Billing &billing,
                     Reservation reservation, std::int64_t promptEstimate, Timing timing)
    : m_client(std::move(client))
    , m_billing(billing)
    , m_reservation(std::move(reservation))
    , m_promptEstimate(promptEstimate)
    , m_stream(stream)
    , m_keepAlive(timing.keepAlive)
    , m_lastWrite(Clock::now()) {}

ProviderHandlers ChatRelay::handlers(const std::shared_ptr<ChatRelay> &relay) {
    ProviderHandlers handlers;
    handlers.onStatus = [relay](const ProviderHead &head) { relay->status(head); };
    handlers.onData = [relay](std::string_view bytes) { return relay->data(bytes); };
    handlers.onDone = [relay](const std::string &error) { relay->done(error); };
    if (relay->m_stream)
        handlers.onQuiet = [relay] { return relay->quiet(); };
    return handlers;
}

void ChatRelay::status(const ProviderHead &head) {
    if (m_head.status != 0 || m_finished)
        return;
    m_head = head;
    if (m_stream && head.status == 200) {
        if (!m_begun)
            beginStream();
        m_relaying = true;
    }
}

void ChatRelay::beginStream() {
    m_begun = true;
    m_client->beginStream(200, "text/event-stream");
    write(std::string(keepAliveComment) + "\n");
}

void ChatRelay::write(std::string text) {
    m_client->streamChunk(std::move(text));
    m_lastWrite = Clock::now();
}

std::chrono::milliseconds ChatRelay::quiet() {
    using std::chrono::milliseconds;
    if (!m_stream || m_finished)
        return milliseconds(0);
    // A moment's difference is not worth waking up again for.
    constexpr milliseconds slack(10);
    const auto left = std::chrono::ceil<milliseconds>(m_lastWrite + m_keepAlive - Clock::now());
    if (!m_begun) {
        // A refusal's head has come and its body is on the way: it may still go back whole.
        if (m_head.status != 0 && left > slack)
            return left;
        beginStream();
        return m_keepAlive;
    }
    if (left > slack)
        return left;
    // Inside an event the comment is one more line of it; between events it stands alone.
    write(std::string(keepAliveComment) + (m_atEventEnd ? "\n" : ""));
    return m_keepAlive;
}

bool ChatRelay::data(std::string_view bytes) {
    if (m_finished)
        return false;
    if (m_relaying) {
        passLines(bytes);
        return !m_streamError;
    }
    const size_t cap = m_head.status == 200 ? maxProviderReply : maxProviderError;
    if (m_pending.size() + bytes.size() > cap)
        m_tooLarge = true;
    else
        m_pending.append(bytes);
    return true;
}

void ChatRelay::passLines(std::string_view bytes) {
    // Pass whole lines on as they complete, whatever ends them (LF, CRLF or CR); keep the
    // [DONE] marker for the very end, and drop what follows it, so the client gets exactly one.
    if (m_providerDone)
        return;
    m_pending.append(bytes);
    std::string out;
    size_t start = 0;
    while (!m_providerDone) {
        const size_t end = m_pending.find_first_of("\r\n", start);
        if (end == std::string::npos)
            break;
        size_t next = end + 1;
        if (m_pending[end] == '\r') {
            if (next == m_pending.size())
                break; // its LF may be in the next piece
            if (m_pending[next] == '\n')
                ++next;
        }
        passLine(std::string_view(m_pending.data() + start, end - start), out);
        start = next;
    }
    if (m_providerDone)
        m_pending.clear();
    else
        m_pending.erase(0, start);
    if (m_pending.size() > 1024 * 1024)
        m_pending.clear(); // one endless line: drop it rather than hold it
    if (!out.empty()) {
        write(std::move(out));
        m_billing.progress(m_reservation, used());
    }
}

void ChatRelay::passLine(std::string_view line, std::string &out) {
    if (line.empty()) { // the end of an event
        if (!m_atEventEnd)
            out += '\n';
        m_atEventEnd = true;
        m_eventType.clear();
        return;
    }
    if (line.front() == ':') // the provider's comment: the server sends its own
        return;
    const size_t colon = line.find(':');
    const std::string_view field = line.substr(0, colon);
    std::string_view value = colon == std::string_view::npos ? "" : line.substr(colon + 1);
    if (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    if (field == "data")
        passData(value, out);
    else if (field == "event")
        m_eventType = value;
    // id:, retry: and unknown fields mean nothing to the client.
}

void ChatRelay::passData(std::string_view payload, std::string &out) {
    if (m_eventType == "error")
        return streamError(payload, true);
    std::string_view marker = payload;
    while (!marker.empty() && (marker.back() == ' ' || marker.back() == '\t'))
        marker.remove_suffix(1);
    if (marker == "[DONE]") {
        m_providerDone = m_complete = true;
        return;
    }
    const bool usage = payload.find("\"usage\"") != std::string_view::npos;
    const bool finish = payload.find("\"finish_reason\"") != std::string_view::npos;
    const bool error = payload.find("\"error\"") != std::string_view::npos;
    if (usage || finish || error) {
        const json event = json::parse(payload, nullptr, false);
        if (event.is_object()) {
            m_reportedTokens = reportedUsage(event).value_or(m_reportedTokens);
            if (reportsError(event))
                return streamError(payload, false);
            m_complete = m_complete || finishesAnswer(event);
        }
    }
    out.append("data: ").append(payload).append("\n");
    ++m_forwardedLines;
    m_atEventEnd = false;
}

void ChatRelay::streamError(std::string_view payload, bool errorEvent) {
    m_providerDone = true;
    const ProviderError error = readProviderError(payload, errorEvent);
    const std::string shown = error.shown();
    m_streamError = providerReportedError(shown);
    logLine("chat: the model provider reported an error in the stream: " + error.forLog());
}

void ChatRelay::done(const std::string &error) {
    if (m_finished)
        return;
    m_finished = true;
    if (m_begun)
        finishStream(error);
    else
        finishReply(error);
}

std::int64_t ChatRelay::used() const {
    return m_reportedTokens >= 0 ? m_reportedTokens : m_promptEstimate + m_forwardedLines;
}

void ChatRelay::finishStream(const std::string &error) {
    if (error == "cancelled") // a provider that had not answered yet may still have read it all
        return m_billing.settle(m_reservation, m_relaying           ? used()
                                               : m_head.status == 0 ? m_promptEstimate
                                                                    : 0);
    if (m_relaying && !m_pending.empty())
        passLines("\n"); // a last line the provider did not end
    // Why the answer is not whole; only the provider can say it is, and a stream that merely
    // stopped, even cleanly, was cut off.
    std::string reason;
    if (m_streamError) {
        reason = *m_streamError;
    } else if (m_relaying && m_complete) {
    } else if (m_relaying && !isProviderSilence(error) && error != providerStopped) {
        reason = providerStoppedResponding;
    } else if (const auto failure = providerFailure("chat", error, m_head, m_pending)) {
        const auto body = parseObject(failure->body);
        reason = body ? stringMember(*body, "error").value_or("") : "";
        if (!reason.empty())
            reason[0] = char(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    if (reason.empty() && !(m_relaying && m_complete))
        reason = providerStoppedResponding;
    // What the relay adds must not join the provider's last event.
    std::string ending = m_atEventEnd ? "" : "\n";
    if (!reason.empty()) {
        const json notice{
            {"choices", json::array({json{{"delta", json{{"content", cutOffNotice(reason)}}}}})}};
        ending += "data: " + notice.dump(-1, ' ', false, json::error_handler_t::replace) + "\n\n";
    }
    write(ending + "data: [DONE]\n\n");
    m_client->endStream();
    // What was streamed is charged; nothing when the model never answered.
    m_billing.settle(m_reservation, m_relaying ? used() : 0);
}

void ChatRelay::finishReply(const std::string &error) {
    if (error == "cancelled") // the provider may have answered: the prompt was spent
        return m_billing.settle(m_reservation, m_promptEstimate);
    if (!error.empty() || m_head.status != 200 || m_tooLarge)
        m_billing.settle(m_reservation, 0);
    if (const auto failure = providerFailure("chat", error, m_head, m_pending))
        return m_client->reply(*failure);
    if (m_tooLarge)
        return m_client->reply(errorResponse(502, std::string(providerReplyTooLarge)));
    const auto reply = parseObject(m_pending);
    if (!reply) {
        m_billing.settle(m_reservation, m_promptEstimate);
        return m_client->reply(errorResponse(502, std::string(providerReplyNotObject)));
    }
    if (const auto usage = reportedUsage(*reply))
        m_reportedTokens = *usage;
    m_billing.settle(m_reservation, used());
    m_client->reply({200, "application/json", std::move(m_pending)});
}

} // namespace pindle
