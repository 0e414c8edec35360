#include "http/RestinioResponder.h"

#include "http/ConnectionLimits.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace pindle {

namespace {

const char *reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 415:
        return "Unsupported Media Type";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    }
    return "Status";
}

restinio::http_status_line_t statusLine(int status) {
    return {restinio::http_status_code_t{std::uint16_t(status)}, reasonPhrase(status)};
}

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

// What every answer tells browsers: not to guess its type, never to show it in a frame, to send
// no referrer from it; and, when the server speaks TLS itself, to use nothing else for a year. A
// field the answer sets itself (a page's own referrer policy) stays as it is.
template <typename Builder>
void appendSecurityHeaders(Builder &answer, bool tls, const HeaderFields &own = {}) {
    const auto add = [&](std::string_view name, std::string_view value) {
        const bool set = std::any_of(own.begin(), own.end(), [&](const auto &field) {
            return restinio::impl::is_equal_caseless(field.first.data(), field.first.size(),
                                                     name.data(), name.size());
        });
        if (!set)
            answer.append_header(std::string(name), std::string(value));
    };
    add("X-Content-Type-Options", "nosniff");
    add("X-Frame-Options", "DENY");
    add("Referrer-Policy", "no-referrer");
    if (tls)
        add("Strict-Transport-Security", "max-age=31536000");
}

} // namespace

RestinioResponder::RestinioResponder(restinio::request_handle_t request,
                                     ConnectionRegistry &registry, bool tls)
    : m_request(std::move(request))
    , m_connection(m_request->connection_id())
    , m_registry(registry)
    , m_tls(tls) {}

void RestinioResponder::reply(HttpResponse response) {
    std::lock_guard lock(m_mutex);
    if (m_finished || m_stream)
        return;
    m_finished = true;
    auto answer = m_request->create_response(statusLine(response.status));
    answer.append_header(restinio::http_field::content_type, response.contentType)
        .append_header(restinio::http_field::cache_control, "no-store");
    appendSecurityHeaders(answer, m_tls, response.headers);
    for (auto &[name, value] : response.headers)
        answer.append_header(std::move(name), std::move(value));
    answer.set_body(std::move(response.body)).done(written());
    m_registry.remove(m_connection, this);
}

void RestinioResponder::beginStream(int status, const std::string &contentType) {
    std::lock_guard lock(m_mutex);
    if (m_finished || m_stream)
        return;
    m_stream.emplace(m_request->create_response<restinio::chunked_output_t>(statusLine(status)));
    m_stream->append_header(restinio::http_field::content_type, contentType)
        .append_header(restinio::http_field::cache_control, "no-cache")
        .append_header("X-Accel-Buffering", "no");
    appendSecurityHeaders(*m_stream, m_tls);
    // Not flushed here: the head goes out with the first chunk, in one write.
    // Its builder carries the stream from here; the request's header fields would only stay
    // with every open stream for nothing.
    m_request.reset();
}

void RestinioResponder::streamChunk(std::string data) {
    std::lock_guard lock(m_mutex);
    if (!m_stream || m_finished)
        return;
    m_stream->append_chunk(std::move(data));
    m_stream->flush();
}

void RestinioResponder::endStream() {
    std::lock_guard lock(m_mutex);
    if (!m_stream || m_finished)
        return;
    m_finished = true;
    m_stream->done(written());
    m_registry.remove(m_connection, this);
}

void RestinioResponder::onDisconnect(std::function<void()> cancel) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_gone) {
            m_cancel = std::move(cancel);
            return;
        }
    }
    cancel();
}

void RestinioResponder::disconnected() {
    std::function<void()> cancel;
    {
        std::lock_guard lock(m_mutex);
        m_gone = true;
        if (!m_finished)
            cancel = std::move(m_cancel);
    }
    if (cancel)
        cancel();
}

restinio::write_status_cb_t RestinioResponder::written() {
    return
        [&registry = m_registry](const restinio::asio_ns::error_code &) { registry.writeEnded(); };
}

void answerRefused(const restinio::request_handle_t &request, const Refusal &refusal, bool tls) {
    auto answer = request->create_response(statusLine(refusal.status));
    answer.append_header(restinio::http_field::content_type, "application/json")
        .append_header(restinio::http_field::cache_control, "no-store");
    appendSecurityHeaders(answer, tls);
    answer.connection_close().set_body("{\"error\":\"" + refusal.error + "\"}").done();
}

} // namespace pindle
