#include "http/ParserLimits.h"

#include "api/Api.h"
#include "http/HttpLimits.h"
#include "http/RestinioTraits.h"

#include <algorithm>
#include <climits>
#include <string_view>
#include <utility>

namespace pindle {

namespace {

// Set once before serving: the configuration the parser's body limits come from.
const Config *s_config = nullptr;
BodyBudget *s_bodyBudget = nullptr;

// See takeParsedBody().
thread_local std::string t_body;

// Put in a request's headers by the parser when its body is refused: the value is the route's
// limit when the body is over it, "busy" when too many large bodies are being received at once.
// One sent by the client is removed first.
constexpr std::string_view refusedField = "X-Pindle-Body-Refused";
constexpr std::string_view busyBody = "busy";

// A refused body declared up to this long is read and dropped, so that the client, which is
// still sending, can read the refusal; a longer one ends the connection at once.
constexpr std::uint64_t discardedBodyLimit = 32 * 1024 * 1024;

using ParserContext = restinio::impl::http_parser_ctx_t;

// The refusal of a request whose head is over a limit (refusedField's value).
constexpr std::string_view headTooLarge = "head";
// Marks a head found over a limit while it is still being read: a field name no client can send,
// since names hold no spaces.
const std::string headMark = "Pindle head too large";
// A head over a limit is read to its end and dropped, so that the client is reading when the
// answer comes; one that goes on past this is answered at once, before http-parser's own limit
// ends the connection without a word. http-parser's count lags by at most a read (4 KiB).
constexpr std::uint32_t headReadLimit = parserHeadLimit - 16 * 1024;

HeadSize measure(const ParserContext &context) {
    HeadSize size;
    size.target = context.m_header.request_target().size();
    size.fields = context.m_total_field_count;
    size.total = size.target;
    context.m_header.for_each_field([&](const restinio::http_header_field_t &field) {
        if (restinio::impl::is_equal_caseless(field.name().data(), field.name().size(),
                                              HeadSize::promptField.data(),
                                              HeadSize::promptField.size())) {
            size.prompt += field.value().size();
            return;
        }
        const std::size_t line = field.name().size() + field.value().size() + 4; // ": ", CRLF
        size.largestField = std::max(size.largestField, line);
        size.total += line;
    });
    if (!context.m_last_was_value) { // a name whose value has not begun
        ++size.fields;
        size.largestField = std::max(size.largestField, context.m_current_field_name.size());
        size.total += context.m_current_field_name.size();
    }
    return size;
}

std::uint64_t bodyLimit(const http_parser *parser, const ParserContext &context) {
    std::string_view target = context.m_header.request_target();
    target = target.substr(0, target.find('?'));
    return Api::bodyLimit(*s_config, http_method_str(static_cast<http_method>(parser->method)),
                          target);
}

int messageComplete(http_parser *parser) {
    auto *context = static_cast<ParserContext *>(parser->data);
    s_bodyBudget->give(parser);
    const int result = restinio::impl::restinio_message_complete_cb<Methods>(parser);
    t_body = std::move(context->m_body);
    context->m_body.clear();
    return result;
}

// A body over its route's limit, or one the budget has no room for, is refused before it is
// kept: read and dropped, then answered, or the connection ends at once when it is very long.
int headersComplete(http_parser *parser) {
    auto *context = static_cast<ParserContext *>(parser->data);
    context->m_header.remove_all_of(refusedField);
    const std::uint64_t limit = bodyLimit(parser, *context);
    const bool declared = parser->content_length != ULLONG_MAX;
    std::string refusal;
    if (context->m_header.has_field(headMark))
        refusal = headTooLarge;
    else if (declared && parser->content_length > limit)
        refusal = std::to_string(limit);
    else if (const std::uint64_t expected = declared ? parser->content_length : limit;
             expected > BodyBudget::counted && !s_bodyBudget->take(parser, expected))
        refusal = busyBody;
    if (refusal.empty())
        return restinio::impl::restinio_headers_complete_cb(parser);
    context->m_leading_headers_completed = true;
    context->m_header.set_field(std::string(refusedField), refusal);
    if (declared && parser->content_length <= discardedBodyLimit)
        return 0; // bodyData drops it
    return 1;     // http_parser: there is no body to read; what follows ends the connection
}

// The URL and the header fields as they arrive, kept until the head is over a limit.
template <int (*store)(http_parser *, const char *, std::size_t)>
int headData(http_parser *parser, const char *at, std::size_t length) {
    auto *context = static_cast<ParserContext *>(parser->data);
    if (context->m_leading_headers_completed) // trailing fields, after a chunked body
        return store(parser, at, length);
    if (!context->m_header.has_field(headMark)) {
        if (const int result = store(parser, at, length); result != 0)
            return result;
        if (!measure(*context).tooLarge())
            return 0;
        context->m_header.set_field(headMark, "");
    }
    if (parser->nread < headReadLimit)
        return 0;
    context->m_header.set_field(std::string(refusedField), std::string(headTooLarge));
    context->m_body.clear();
    return messageComplete(parser);
}

// A chunked body has no declared length: it is ended where it goes past the limit.
int bodyData(http_parser *parser, const char *at, std::size_t length) {
    auto *context = static_cast<ParserContext *>(parser->data);
    if (context->m_header.has_field(refusedField))
        return 0;
    if ((parser->flags & F_CHUNKED) != 0) {
        const std::uint64_t limit = bodyLimit(parser, *context);
        if (context->m_body.size() + length > limit) {
            context->m_header.set_field(std::string(refusedField), std::to_string(limit));
            context->m_body = std::string();
            context->m_chunked_info_block.m_chunks.clear();
            return messageComplete(parser);
        }
    }
    return restinio::impl::restinio_body_cb(parser, at, length);
}

std::string sizeInWords(std::uint64_t bytes) {
    return bytes >= 1024 * 1024 ? std::to_string(bytes / (1024 * 1024)) + " MiB"
                                : std::to_string(bytes / 1024) + " KiB";
}

} // namespace

bool BodyBudget::take(const void *parser, std::uint64_t bytes) {
    std::lock_guard lock(m_mutex);
    const auto now = std::chrono::steady_clock::now();
    giveLocked(parser);
    // A connection that ended inside a body never says so here; its part lapses once
    // RESTinio's limit for reading a request has passed.
    if (now - m_lastSweep > std::chrono::seconds(1)) {
        m_lastSweep = now;
        std::erase_if(m_open, [&](const auto &entry) {
            const bool lapsed = now - entry.second.since > requestReadLimit;
            m_total -= lapsed ? entry.second.bytes : 0;
            return lapsed;
        });
    }
    if (m_total + bytes > m_limit)
        return false;
    m_open[parser] = {bytes, now};
    m_total += bytes;
    return true;
}

void BodyBudget::give(const void *parser) {
    std::lock_guard lock(m_mutex);
    giveLocked(parser);
}

void BodyBudget::giveLocked(const void *parser) {
    if (const auto found = m_open.find(parser); found != m_open.end()) {
        m_total -= found->second.bytes;
        m_open.erase(found);
    }
}

std::uint64_t largestBodyLimit(const Config &config) {
    return std::max(Api::bodyLimit(config, "POST", "/api/chat"),
                    Api::bodyLimit(config, "POST", "/api/chat/transcribe"));
}

void limitRequests(const Config &config, BodyBudget &budget) {
    // The limits on heads are ours (headData); http-parser's own one only stops what goes on
    // past them.
    http_parser_set_max_header_size(parserHeadLimit);
    s_config = &config;
    s_bodyBudget = &budget;
}

std::string takeParsedBody() {
    return std::exchange(t_body, std::string());
}

std::optional<Refusal> refusalOf(const restinio::http_request_header_t &header) {
    const std::string refused = header.get_field_or(refusedField, "");
    if (refused.empty())
        return std::nullopt;
    if (refused == headTooLarge)
        return Refusal{431, "The request's header is too large (at most 100 fields, 8 KiB for the "
                            "address and for each field, and 32 KiB in all)."};
    if (refused == busyBody)
        return Refusal{503, "The server is busy receiving other uploads. Try again in a moment."};
    return Refusal{413,
                   "The request is too large (at most " + sizeInWords(std::stoull(refused)) + ")."};
}

} // namespace pindle

// The callbacks above in place of RESTinio's own (declared in RestinioTraits.h).
template <>
http_parser_settings restinio::impl::create_parser_settings<pindle::Methods>() noexcept {
    http_parser_settings settings = create_parser_settings<restinio::default_http_methods_t>();
    settings.on_url = pindle::headData<restinio::impl::restinio_url_cb>;
    settings.on_header_field = pindle::headData<restinio::impl::restinio_header_field_cb>;
    settings.on_header_value = pindle::headData<restinio::impl::restinio_header_value_cb>;
    settings.on_headers_complete = pindle::headersComplete;
    settings.on_body = pindle::bodyData;
    settings.on_message_complete = pindle::messageComplete;
    return settings;
}
