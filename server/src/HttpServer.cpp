// The one place that knows RESTinio: it carries requests to the Api and its answers back.
#include "HttpServer.h"

#include "HttpLimits.h"
#include "Ledger.h"
#include "Log.h"
#include "OpenStore.h"
#include "ProviderClient.h"
#include "api/Api.h"

#include <restinio/all.hpp>
#include <restinio/tls.hpp>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string_view>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace pindle {

namespace {

restinio::http_status_line_t statusLine(int status) {
    const char *reason = "Status";
    switch (status) {
    case 200:
        reason = "OK";
        break;
    case 201:
        reason = "Created";
        break;
    case 204:
        reason = "No Content";
        break;
    case 400:
        reason = "Bad Request";
        break;
    case 401:
        reason = "Unauthorized";
        break;
    case 403:
        reason = "Forbidden";
        break;
    case 404:
        reason = "Not Found";
        break;
    case 405:
        reason = "Method Not Allowed";
        break;
    case 409:
        reason = "Conflict";
        break;
    case 413:
        reason = "Payload Too Large";
        break;
    case 415:
        reason = "Unsupported Media Type";
        break;
    case 429:
        reason = "Too Many Requests";
        break;
    case 431:
        reason = "Request Header Fields Too Large";
        break;
    case 500:
        reason = "Internal Server Error";
        break;
    case 502:
        reason = "Bad Gateway";
        break;
    case 503:
        reason = "Service Unavailable";
        break;
    case 504:
        reason = "Gateway Timeout";
        break;
    }
    return {restinio::http_status_code_t{std::uint16_t(status)}, reason};
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

class RestinioResponder;

// Which answers each open connection is waiting for (more than one when requests are
// pipelined), so a closed connection cancels their work; and how many answers are still being
// written, so a stopping server closes only once they have gone out.
class ConnectionRegistry {
public:
    void add(restinio::connection_id_t id, const std::shared_ptr<RestinioResponder> &responder) {
        std::lock_guard lock(m_mutex);
        m_waiting.emplace(id, responder);
    }
    // The answer has been handed to the connection; writeEnded() follows when it is out.
    void remove(restinio::connection_id_t id, const RestinioResponder *responder) {
        std::lock_guard lock(m_mutex);
        ++m_writing;
        const auto [first, last] = m_waiting.equal_range(id);
        for (auto it = first; it != last; ++it) {
            const auto held = it->second.lock();
            if (!held || held.get() == responder) {
                m_waiting.erase(it);
                return;
            }
        }
    }
    void writeEnded() {
        std::lock_guard lock(m_mutex);
        --m_writing;
        m_changed.notify_all();
    }
    void closed(restinio::connection_id_t id);

    // True when every request has been answered and every answer written, before `timeout`.
    bool waitUntilAnswered(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout,
                                  [&] { return m_waiting.empty() && m_writing <= 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::unordered_multimap<restinio::connection_id_t, std::weak_ptr<RestinioResponder>> m_waiting;
    std::int64_t m_writing = 0;
};

class RestinioResponder final : public Responder,
                                public std::enable_shared_from_this<RestinioResponder> {
public:
    RestinioResponder(restinio::request_handle_t request, ConnectionRegistry &registry, bool tls)
        : m_request(std::move(request))
        , m_registry(registry)
        , m_tls(tls) {}

    void reply(HttpResponse response) override {
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
        m_registry.remove(m_request->connection_id(), this);
    }

    void beginStream(int status, const std::string &contentType) override {
        std::lock_guard lock(m_mutex);
        if (m_finished || m_stream)
            return;
        m_stream.emplace(
            m_request->create_response<restinio::chunked_output_t>(statusLine(status)));
        m_stream->append_header(restinio::http_field::content_type, contentType)
            .append_header(restinio::http_field::cache_control, "no-cache")
            .append_header("X-Accel-Buffering", "no");
        appendSecurityHeaders(*m_stream, m_tls);
        m_stream->flush();
    }

    void streamChunk(std::string data) override {
        std::lock_guard lock(m_mutex);
        if (!m_stream || m_finished)
            return;
        m_stream->append_chunk(std::move(data));
        m_stream->flush();
    }

    void endStream() override {
        std::lock_guard lock(m_mutex);
        if (!m_stream || m_finished)
            return;
        m_finished = true;
        m_stream->done(written());
        m_registry.remove(m_request->connection_id(), this);
    }

    void onDisconnect(std::function<void()> cancel) override {
        {
            std::lock_guard lock(m_mutex);
            if (!m_gone) {
                m_cancel = std::move(cancel);
                return;
            }
        }
        cancel();
    }

    void disconnected() {
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

private:
    // Tells the registry when the last write of an answer has ended, however it ended.
    restinio::write_status_cb_t written() {
        return [&registry = m_registry](const restinio::asio_ns::error_code &) {
            registry.writeEnded();
        };
    }

    restinio::request_handle_t m_request;
    ConnectionRegistry &m_registry;
    const bool m_tls;
    std::mutex m_mutex;
    bool m_finished = false;
    bool m_gone = false;
    std::optional<restinio::response_builder_t<restinio::chunked_output_t>> m_stream;
    std::function<void()> m_cancel;
};

void ConnectionRegistry::closed(restinio::connection_id_t id) {
    std::vector<std::shared_ptr<RestinioResponder>> responders;
    {
        std::lock_guard lock(m_mutex);
        const auto [first, last] = m_waiting.equal_range(id);
        for (auto it = first; it != last; ++it) {
            if (auto held = it->second.lock())
                responders.push_back(std::move(held));
        }
        m_waiting.erase(id);
    }
    for (const auto &responder : responders)
        responder->disconnected();
    m_changed.notify_all();
}

struct ConnectionListener {
    ConnectionRegistry *registry = nullptr;

    void state_changed(const restinio::connection_state::notice_t &notice) noexcept {
        if (restinio::holds_alternative<restinio::connection_state::closed_t>(notice.cause()))
            registry->closed(notice.connection_id());
    }
};

// How many connections may be open at once, in total and from one client address, so that
// sockets never use up the open-file limit; says (at most every 10 s) when accepting fails or a
// cap turns a connection away.
class ConnectionCaps {
public:
    enum class Event { AcceptFailed, CapReached };

    ConnectionCaps(std::size_t total, std::size_t perAddress)
        : m_maxTotal(total)
        , m_maxPerAddress(perAddress) {}

    // RESTinio hands this object to the acceptor as its IP blocker; the acceptor decides.
    [[nodiscard]] restinio::ip_blocker::inspection_result_t
    inspect(const restinio::ip_blocker::incoming_info_t &) const noexcept {
        return restinio::ip_blocker::inspection_result_t::allow;
    }

    [[nodiscard]] bool admit(const restinio::asio_ns::ip::address &address) {
        std::lock_guard lock(m_mutex);
        if (m_total >= m_maxTotal)
            return false;
        std::size_t &count = m_perAddress[address];
        if (count >= m_maxPerAddress) {
            if (count == 0)
                m_perAddress.erase(address);
            return false;
        }
        ++count;
        ++m_total;
        return true;
    }

    void release(const restinio::asio_ns::ip::address &address) noexcept {
        std::lock_guard lock(m_mutex);
        --m_total;
        const auto found = m_perAddress.find(address);
        if (found != m_perAddress.end() && --found->second == 0)
            m_perAddress.erase(found);
    }

    void report(Event event, const std::string &message) noexcept {
        std::lock_guard lock(m_mutex);
        Reported &reported = m_reported[event == Event::AcceptFailed ? 0 : 1];
        const auto now = std::chrono::steady_clock::now();
        if (reported.last && now - *reported.last < std::chrono::seconds(10)) {
            ++reported.suppressed;
            return;
        }
        std::cerr << "pindle-server: " << message;
        if (reported.suppressed > 0)
            std::cerr << " (and " << reported.suppressed << " more times since the last report)";
        std::cerr << std::endl;
        reported = {now, 0};
    }

private:
    struct Reported {
        std::optional<std::chrono::steady_clock::time_point> last;
        std::size_t suppressed = 0;
    };
    struct AddressHash {
        std::size_t operator()(const restinio::asio_ns::ip::address &address) const {
            return std::hash<std::string>{}(address.to_string());
        }
    };

    std::mutex m_mutex;
    const std::size_t m_maxTotal;
    const std::size_t m_maxPerAddress;
    std::size_t m_total = 0;
    std::unordered_map<restinio::asio_ns::ip::address, std::size_t, AddressHash> m_perAddress;
    Reported m_reported[2];
};

// One admitted connection's place under the caps, given back when the connection object ends.
class AdmittedConnection {
public:
    AdmittedConnection(std::shared_ptr<ConnectionCaps> caps, restinio::asio_ns::ip::address address)
        : m_caps(std::move(caps))
        , m_address(std::move(address)) {}
    AdmittedConnection(AdmittedConnection &&other) noexcept
        : m_caps(std::exchange(other.m_caps, nullptr))
        , m_address(other.m_address) {}
    AdmittedConnection &operator=(AdmittedConnection &&other) noexcept {
        std::swap(m_caps, other.m_caps);
        std::swap(m_address, other.m_address);
        return *this;
    }
    AdmittedConnection(const AdmittedConnection &) = delete;
    AdmittedConnection &operator=(const AdmittedConnection &) = delete;
    ~AdmittedConnection() {
        if (m_caps)
            m_caps->release(m_address);
    }

private:
    std::shared_ptr<ConnectionCaps> m_caps;
    restinio::asio_ns::ip::address m_address;
};

// Accepts connections for RESTinio: after a failed accept (EMFILE, ENFILE, ...) it tries again
// shortly instead of stopping, and a connection over a cap gets a 503 (over TLS: is closed).
// Modelled on restinio::impl::acceptor_t of 0.6.16, which http_server_t expects.
template <typename Traits>
class RetryingAcceptor
    : public std::enable_shared_from_this<RetryingAcceptor<Traits>>,
      protected restinio::impl::socket_supplier_t<typename Traits::stream_socket_t> {
    using Socket = typename Traits::stream_socket_t;
    using Supplier = restinio::impl::socket_supplier_t<Socket>;
    using Factory = restinio::impl::connection_factory_t<Traits>;

public:
    template <typename Settings>
    RetryingAcceptor(Settings &settings, restinio::asio_ns::io_context &io,
                     std::shared_ptr<Factory> factory, typename Traits::logger_t &)
        : Supplier(settings, io)
        , m_endpoint(settings.protocol(), settings.port())
        , m_address(settings.address())
        , m_optionsSetter(settings.acceptor_options_setter())
        , m_postBindHook(settings.giveaway_acceptor_post_bind_hook())
        , m_acceptor(io)
        , m_executor(io.get_executor())
        , m_openClose(io.get_executor())
        , m_factory(std::move(factory))
        , m_caps(settings.ip_blocker()) {
        for (std::size_t i = 0; i < this->concurrent_accept_sockets_count(); ++i)
            m_retry.emplace_back(io);
    }

    void open() {
        if (m_acceptor.is_open())
            return;
        if (const auto *name = restinio::get_if<std::string>(&m_address))
            m_endpoint.address(restinio::asio_ns::ip::make_address(
                *name == "localhost" ? std::string("127.0.0.1") : *name));
        else if (const auto *address = restinio::get_if<restinio::asio_ns::ip::address>(&m_address))
            m_endpoint.address(*address);
        try {
            m_acceptor.open(m_endpoint.protocol());
            restinio::acceptor_options_t options{m_acceptor};
            (*m_optionsSetter)(options);
            m_acceptor.bind(m_endpoint);
            m_postBindHook(m_acceptor);
            m_acceptor.listen(restinio::asio_ns::socket_base::max_listen_connections);
        } catch (const std::exception &) {
            if (m_acceptor.is_open())
                m_acceptor.close();
            throw;
        }
        for (std::size_t i = 0; i < this->concurrent_accept_sockets_count(); ++i)
            acceptNext(i);
    }

    void close() {
        if (m_acceptor.is_open())
            m_acceptor.close();
    }

    [[nodiscard]] typename Traits::strand_t &get_open_close_operations_executor() noexcept {
        return m_openClose;
    }

private:
    void acceptNext(std::size_t slot) {
        if (!m_acceptor.is_open())
            return;
        m_acceptor.async_accept(
            this->socket(slot).lowest_layer(),
            restinio::asio_ns::bind_executor(
                m_executor, [slot, self = this->shared_from_this()](
                                const restinio::asio_ns::error_code &error) noexcept {
                    self->accepted(slot, error);
                }));
    }

    void accepted(std::size_t slot, const restinio::asio_ns::error_code &error) noexcept {
        if (error == restinio::asio_ns::error::operation_aborted || !m_acceptor.is_open())
            return;
        if (error) {
            // Too many open files (or a passing kernel shortage): the client waits in the
            // backlog while connections end and free descriptors.
            m_caps->report(ConnectionCaps::Event::AcceptFailed,
                           "accepting a connection failed: " + error.message() + "; retrying");
            restinio::asio_ns::steady_timer &timer = m_retry[slot];
            timer.expires_after(std::chrono::milliseconds(75));
            timer.async_wait(restinio::asio_ns::bind_executor(
                m_executor,
                [slot, self = this->shared_from_this()](
                    const restinio::asio_ns::error_code &) noexcept { self->acceptNext(slot); }));
            return;
        }
        try {
            admit(this->move_socket(slot));
        } catch (const std::exception &) {
            // The client left before it could be served (or its socket could not be set up).
        }
        acceptNext(slot);
    }

    void admit(Socket socket) {
        const restinio::endpoint_t remote = socket.lowest_layer().remote_endpoint();
        if (!m_caps->admit(remote.address())) {
            m_caps->report(ConnectionCaps::Event::CapReached, "too many connections (from " +
                                                                  remote.address().to_string() +
                                                                  " or in total): answering 503");
            refuse(socket);
            return;
        }
        AdmittedConnection place(m_caps, remote.address());
        m_factory->create_new_connection(std::move(socket), remote, std::move(place))->init();
    }

    // The client has usually not sent its request yet; reading what it did send first lets the
    // close end with FIN rather than a reset that could swallow the answer.
    static void refuse(Socket &socket) {
        restinio::asio_ns::error_code ignored;
        if constexpr (std::is_same_v<Socket, restinio::asio_ns::ip::tcp::socket>) {
            static constexpr std::string_view body =
                R"({"error":"The server is busy. Try again shortly."})";
            static const std::string answer =
                "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                "Cache-Control: no-store\r\nRetry-After: 5\r\nConnection: close\r\n"
                "X-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY\r\n"
                "Referrer-Policy: no-referrer\r\n"
                "Content-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
            socket.non_blocking(true, ignored);
            char discarded[4096];
            while (socket.available(ignored) > 0 &&
                   socket.receive(restinio::asio_ns::buffer(discarded), 0, ignored) > 0) {
            }
            socket.send(restinio::asio_ns::buffer(answer), 0, ignored);
            socket.shutdown(restinio::asio_ns::socket_base::shutdown_send, ignored);
        }
        socket.lowest_layer().close(ignored);
    }

    restinio::asio_ns::ip::tcp::endpoint m_endpoint;
    const restinio::details::address_variant_t m_address;
    std::unique_ptr<restinio::acceptor_options_setter_t> m_optionsSetter;
    restinio::acceptor_post_bind_hook_t m_postBindHook;
    restinio::asio_ns::ip::tcp::acceptor m_acceptor;
    restinio::default_asio_executor m_executor;
    typename Traits::strand_t m_openClose;
    std::shared_ptr<Factory> m_factory;
    std::shared_ptr<ConnectionCaps> m_caps;
    std::vector<restinio::asio_ns::steady_timer> m_retry;
};

// The request methods RESTinio already knows; a type of our own, so that the parser settings below
// can be ours.
struct Methods : restinio::default_http_methods_t {};

// RESTinio's own connection-count limiter stays off: in 0.6.16 it lives in the acceptor, and
// connections still open at shutdown reach back into it after it is gone (use after free).
struct Traits : restinio::default_traits_t {
    using http_methods_mapper_t = Methods;
    using connection_state_listener_t = ConnectionListener;
    using ip_blocker_t = ConnectionCaps;
};

struct TlsTraits : restinio::default_tls_traits_t {
    using http_methods_mapper_t = Methods;
    using connection_state_listener_t = ConnectionListener;
    using ip_blocker_t = ConnectionCaps;
};

// How long a client may take to send a request; past it RESTinio closes the connection.
constexpr auto requestReadLimit = std::chrono::seconds(60);

// Set once before serving: the configuration the parser's body limits come from.
const Config *s_config = nullptr;

// Put in a request's headers by the parser when its body is refused: the value is the route's
// limit when the body is over it, "busy" when too many large bodies are being received at once.
// One sent by the client is removed first.
constexpr std::string_view refusedField = "X-Pindle-Body-Refused";
constexpr std::string_view busyBody = "busy";

// A refused body declared up to this long is read and dropped, so that the client, which is
// still sending, can read the refusal; a longer one ends the connection at once.
constexpr std::uint64_t discardedBodyLimit = 32 * 1024 * 1024;

// What large bodies being received may hold at once, whoever sends them, so that strangers
// cannot fill the memory with uploads that will be refused once read. Bodies of a few KiB are
// not counted: the connection caps bound them.
class BodyBudget {
public:
    static constexpr std::uint64_t counted = 64 * 1024;

    explicit BodyBudget(std::uint64_t limit)
        : m_limit(limit) {}

    // Sets aside `bytes` for the body `parser` is about to read; false when they do not fit.
    bool take(const void *parser, std::uint64_t bytes) {
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
    void give(const void *parser) {
        std::lock_guard lock(m_mutex);
        giveLocked(parser);
    }

private:
    struct Held {
        std::uint64_t bytes;
        std::chrono::steady_clock::time_point since;
    };
    void giveLocked(const void *parser) {
        if (const auto found = m_open.find(parser); found != m_open.end()) {
            m_total -= found->second.bytes;
            m_open.erase(found);
        }
    }

    std::mutex m_mutex;
    const std::uint64_t m_limit;
    std::uint64_t m_total = 0;
    std::unordered_map<const void *, Held> m_open;
    std::chrono::steady_clock::time_point m_lastSweep;
};

BodyBudget *s_bodyBudget = nullptr;

// The body of the request the parser completed last on this thread: RESTinio keeps a request's
// body const, so the handler, which runs next on the same thread, takes it from here uncopied.
thread_local std::string t_body;

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

} // namespace
} // namespace pindle

// RESTinio checks one body limit for every route, and only closes the connection past it; ours
// are per route, checked before the body is kept, and answered 413.
template <>
inline http_parser_settings restinio::impl::create_parser_settings<pindle::Methods>() noexcept {
    http_parser_settings settings = create_parser_settings<restinio::default_http_methods_t>();
    settings.on_url = pindle::headData<restinio::impl::restinio_url_cb>;
    settings.on_header_field = pindle::headData<restinio::impl::restinio_header_field_cb>;
    settings.on_header_value = pindle::headData<restinio::impl::restinio_header_value_cb>;
    settings.on_headers_complete = pindle::headersComplete;
    settings.on_body = pindle::bodyData;
    settings.on_message_complete = pindle::messageComplete;
    return settings;
}

// WORKAROUND: RESTinio 0.6.16's acceptor calls accept() again only after a success, so one
// failure (EMFILE once the open-file limit is reached) stops the server accepting for good, and
// its connection limiter is unsafe at shutdown. Our traits get RetryingAcceptor and a place
// holder that owns its count instead. Remove once RESTinio retries failed accepts (upstream
// acceptor.hpp, call_accept_now) and its limiter outlives open connections.
namespace restinio {
template <> struct connection_count_limit_types<pindle::Traits> {
    using limiter_t = pindle::ConnectionCaps;
    using lifetime_monitor_t = pindle::AdmittedConnection;
};
template <> struct connection_count_limit_types<pindle::TlsTraits> {
    using limiter_t = pindle::ConnectionCaps;
    using lifetime_monitor_t = pindle::AdmittedConnection;
};
namespace impl {
template <>
class acceptor_t<pindle::Traits> final : public pindle::RetryingAcceptor<pindle::Traits> {
public:
    using RetryingAcceptor::RetryingAcceptor;
};
template <>
class acceptor_t<pindle::TlsTraits> final : public pindle::RetryingAcceptor<pindle::TlsTraits> {
public:
    using RetryingAcceptor::RetryingAcceptor;
};
} // namespace impl
} // namespace restinio

namespace pindle {
namespace {

// How long a client may take over the TLS handshake; afterwards the limits of plain HTTP apply.
constexpr auto tlsHandshakeLimit = std::chrono::seconds(10);

// WORKAROUND: RESTinio 0.6.16 sets no time limit on the TLS handshake (its timers start once the
// handshake is done: tls.hpp, prepare_connection_and_start_read), so a client that connects and
// never finishes one holds its connection, and its place under the caps, for good. This overload,
// more specialised and found through our traits, runs the handshake on the connection's strand
// with a timer that closes the socket when the handshake takes too long. Remove once RESTinio
// limits the handshake itself.
template <typename StartRead, typename Failed>
void prepare_connection_and_start_read(restinio::impl::tls_socket_t &socket,
                                       restinio::impl::connection_t<TlsTraits> &connection,
                                       StartRead startRead, Failed failed) {
    namespace asio = restinio::asio_ns;
    const auto strand = connection.get_executor();
    auto timer = std::make_shared<asio::steady_timer>(socket.get_executor());
    auto finished = std::make_shared<bool>(false);
    timer->expires_after(tlsHandshakeLimit);
    // Both handlers run on the strand. While the handshake is under way, its handler holds the
    // connection, and with it the socket.
    timer->async_wait(
        asio::bind_executor(strand, [finished, &socket](const asio::error_code &error) {
            if (!error && !*finished) {
                asio::error_code ignored;
                socket.close(ignored);
            }
        }));
    socket.async_handshake(
        asio::ssl::stream_base::server,
        asio::bind_executor(
            strand, [startRead = std::move(startRead), failed = std::move(failed), timer, finished,
                     held = connection.shared_from_this()](const asio::error_code &error) {
                *finished = true;
                timer->cancel();
                if (!error)
                    startRead();
                else
                    failed(error);
            }));
}

// Runs one server until SIGINT or SIGTERM, then finishes the work under way; a second signal
// calls `endAtOnce` with its number instead. Returns what made it fail to start, if anything.
template <typename ServerTraits, typename Settings>
std::exception_ptr serve(const Config &config, restinio::asio_ns::io_context &io, Settings settings,
                         const std::function<void()> &finishWork,
                         const std::function<void(int)> &endAtOnce) {
    restinio::http_server_t<ServerTraits> server{restinio::external_io_context(io),
                                                 std::move(settings)};
    std::exception_ptr failure;
    std::thread stopping;
    restinio::asio_ns::signal_set signals(server.io_context(), SIGINT, SIGTERM);
    signals.async_wait([&](const restinio::asio_ns::error_code &error, int) {
        if (error)
            return;
        logLine("stopping: finishing the answers under way (SIGTERM or Ctrl+C again ends the "
                "server at once)");
        signals.async_wait([&](const restinio::asio_ns::error_code &again, int signal) {
            if (!again)
                endAtOnce(signal);
        });
        // The work under way ends on a thread of its own while the connections go on carrying
        // its answers; they close only once those are written.
        stopping = std::thread([&] {
            finishWork();
            restinio::asio_ns::post(io, [&] {
                server.close_async([&] { server.io_context().stop(); },
                                   [&](std::exception_ptr ex) {
                                       failure = ex;
                                       server.io_context().stop();
                                   });
            });
        });
    });
    // A hangup is how a service manager asks for a reload. The configuration is read once, at
    // start: say so and go on serving rather than end as SIGHUP would.
    restinio::asio_ns::signal_set hangups(server.io_context(), SIGHUP);
    std::function<void()> awaitHangup = [&] {
        hangups.async_wait([&](const restinio::asio_ns::error_code &error, int) {
            if (error)
                return;
            std::cerr << "pindle-server: the configuration is read only at start; restart the "
                         "server for a change to take effect"
                      << std::endl;
            awaitHangup();
        });
    };
    awaitHangup();
    server.open_async(
        [&] {
            std::cerr << "pindle-server listening on " << (config.tlsEnabled() ? "https" : "http")
                      << "://" << config.listenAddress << ':' << config.port << std::endl;
        },
        [&](std::exception_ptr ex) {
            failure = ex;
            server.io_context().stop();
        });

    std::vector<std::thread> threads;
    for (int i = 1; i < config.ioThreads; ++i)
        threads.emplace_back([&] { io.run(); });
    io.run();
    for (std::thread &thread : threads)
        thread.join();
    if (stopping.joinable())
        stopping.join();
    return failure;
}

} // namespace

int runServer(const Config &config) {
    // The limits on heads are ours (headData); http-parser's own one only stops what goes on
    // past them.
    http_parser_set_max_header_size(parserHeadLimit);
    // Each open stream holds two sockets (client and provider): allow as many as the system does.
    rlimit files{};
    rlim_t fileLimit = 1024;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        if (files.rlim_cur < files.rlim_max) {
            files.rlim_cur = files.rlim_max;
            setrlimit(RLIMIT_NOFILE, &files);
            getrlimit(RLIMIT_NOFILE, &files);
        }
        fileLimit = files.rlim_cur;
    }
    // Client sockets stay below the limit, leaving room for provider sockets and the database.
    const auto caps = std::make_shared<ConnectionCaps>(
        config.maxConnections > 0 ? std::size_t(config.maxConnections)
                                  : defaultConnectionCap(fileLimit),
        config.maxConnectionsPerAddress > 0 ? std::size_t(config.maxConnectionsPerAddress) : 256);

    // The workers, the ledger and the housekeeping may each use the database at once.
    const std::unique_ptr<Store> store = openStore(config.database, config.workerThreads + 2);
    Ledger::Options books;
    books.owner = Ledger::newOwner();
    books.lifetime = std::chrono::seconds(config.reservationSeconds);
    books.journalDirectory = config.journalDirectory.empty() ? Ledger::defaultJournalDirectory()
                                                             : config.journalDirectory;
    books.soleServer = store->claimSoleServer();
    Ledger ledger(*store, books);
    // Ended sessions and attempt counts whose window has passed are useless; clear them out now
    // and every hour.
    std::jthread housekeeping([&store](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any tick;
        std::unique_lock lock(mutex);
        const std::unique_ptr<AttemptLimits> limits = store->attemptLimits();
        while (!stop.stop_requested()) {
            try {
                store->deleteExpiredSessions(nowSeconds());
                limits->prune(nowSeconds());
            } catch (const StoreError &) {
                // The database is unreachable for now; the next round tries again.
            }
            tick.wait_for(lock, stop, std::chrono::hours(1), [] { return false; });
        }
    });
    WorkerPool workers(config.workerThreads);
    WorkerPool hashing(2);
    ProviderClient provider;
    Api api(config, *store, workers, hashing, provider, ledger);
    ConnectionRegistry registry;
    auto listener = std::make_shared<ConnectionListener>();
    listener->registry = &registry;

    s_config = &config;
    const std::uint64_t largestBody =
        std::max(Api::bodyLimit(config, "POST", "/api/chat"),
                 Api::bodyLimit(config, "POST", "/api/chat/transcribe"));
    BodyBudget bodyBudget(std::max<std::uint64_t>(128 * 1024 * 1024, 4 * largestBody));
    s_bodyBudget = &bodyBudget;
    // Declared after the registry and the Api: work still queued when serving ends is dropped
    // before they are.
    restinio::asio_ns::io_context io;
    auto handler = [&](restinio::request_handle_t request) {
        std::string body = std::exchange(t_body, std::string());
        const std::string refused = request->header().get_field_or(refusedField, "");
        if (!refused.empty()) {
            int status = 503;
            std::string error =
                "The server is busy receiving other uploads. Try again in a moment.";
            if (refused == headTooLarge) {
                status = 431;
                error = "The request's header is too large (at most 100 fields, 8 KiB for the "
                        "address and for each field, and 32 KiB in all).";
            } else if (refused != busyBody) {
                status = 413;
                const std::uint64_t limit = std::stoull(refused);
                error = "The request is too large (at most " +
                        (limit >= 1024 * 1024 ? std::to_string(limit / (1024 * 1024)) + " MiB"
                                              : std::to_string(limit / 1024) + " KiB") +
                        ").";
            }
            auto answer = request->create_response(statusLine(status));
            answer.append_header(restinio::http_field::content_type, "application/json")
                .append_header(restinio::http_field::cache_control, "no-store");
            appendSecurityHeaders(answer, config.tlsEnabled());
            answer.connection_close().set_body("{\"error\":\"" + error + "\"}").done();
            return restinio::request_accepted();
        }
        HttpRequest carried;
        carried.method = request->header().method().c_str();
        carried.path = std::string(request->header().path());
        carried.authorization =
            request->header().get_field_or(restinio::http_field::authorization, "");
        carried.contentType =
            request->header().get_field_or(restinio::http_field::content_type, "");
        carried.systemPrompt = request->header().get_field_or("X-Pindle-System-Prompt", "");
        carried.body = std::move(body);
        carried.clientAddress = request->remote_endpoint().address().to_string();
        carried.forwardedFor = request->header().get_field_or("X-Forwarded-For", "");
        carried.origin = request->header().get_field_or(restinio::http_field::origin, "");
        carried.referer = request->header().get_field_or(restinio::http_field::referer, "");
        carried.host = request->header().get_field_or(restinio::http_field::host, "");
        carried.peerAddress = carried.clientAddress;
        carried.forwardedProto = request->header().get_field_or("X-Forwarded-Proto", "");
        carried.forwardedHost = request->header().get_field_or("X-Forwarded-Host", "");
        carried.cookie = request->header().get_field_or(restinio::http_field::cookie, "");
        carried.tls = config.tlsEnabled();
        auto responder = std::make_shared<RestinioResponder>(request, registry, carried.tls);
        registry.add(request->connection_id(), responder);
        // WORKAROUND: the Api answers only after this call returns. RESTinio 0.6.16 resumes reading
        // pipelined requests after a write that freed a slot of a full pipeline even when an
        // answer given here has filled that slot again, and then drops the connection. Remove
        // once its connection checks the pipeline before reading again (impl/connection.hpp,
        // finish_handling_current_write_ctx).
        restinio::asio_ns::post(io, [&api, carried = std::move(carried), responder]() mutable {
            try {
                api.handle(std::move(carried), responder);
            } catch (const std::exception &) {
                responder->reply({500, "application/json",
                                  R"({"error":"The server could not complete the request."})"});
            }
        });
        return restinio::request_accepted();
    };

    const auto configured = [&](auto settings) {
        return std::move(settings)
            .port(config.port)
            .address(config.listenAddress)
            .request_handler(handler)
            .connection_state_listener(listener)
            .ip_blocker(caps)
            // Requests sent together are answered in order; past 16 unanswered, the rest wait
            // in the socket until answers have gone out.
            .max_pipelined_requests(16)
            // Restarted by every write: covers a slow first token, not the whole answer.
            .handle_request_timeout(std::chrono::minutes(10))
            .read_next_http_message_timelimit(requestReadLimit)
            .write_http_response_timelimit(std::chrono::seconds(60))
            .socket_options_setter([](restinio::socket_options_t &options) {
                options.set_option(restinio::asio_ns::ip::tcp::no_delay{true});
            })
            // Each route's own limit is checked first (headersComplete); this is the largest.
            .incoming_http_msg_limits(restinio::incoming_http_msg_limits_t{}.max_body_size(
                std::max(Api::bodyLimit(config, "POST", "/api/chat"),
                         Api::bodyLimit(config, "POST", "/api/chat/transcribe"))));
    };

    // In dependency order: new requests are refused, provider transfers end (their streams get
    // their last lines and settle), the workers drain, the ledger applies every charge (or
    // journals it), and the answers are written. Each step is idempotent.
    const std::function<void()> finishWork = [&] {
        api.refuseNewRequests();
        provider.stop();
        hashing.stop();
        workers.stop();
        ledger.stop(std::chrono::seconds(10));
        if (!registry.waitUntilAnswered(std::chrono::seconds(5)))
            std::cerr << "pindle-server: closing with answers still being written" << std::endl;
    };
    // The operator will not wait for the drain: what the ledger holds goes to the journal for
    // the next start and the process ends, cutting the open streams, with the status a shell
    // gives a process the signal ended. The work under way may be stuck in the database, so
    // nothing is waited for.
    const std::function<void(int)> endAtOnce = [&](int signal) {
        // A third signal, should writing the journal hang, ends the process as it would anyway.
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        ledger.journalAndEnd(128 + signal);
    };

    std::exception_ptr failure;
    if (config.tlsEnabled()) {
        namespace ssl = restinio::asio_ns::ssl;
        ssl::context tls{ssl::context::tls_server};
        tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                        ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                        ssl::context::single_dh_use);
        tls.use_certificate_chain_file(config.tlsCertificate);
        tls.use_private_key_file(config.tlsPrivateKey, ssl::context::pem);
        failure = serve<TlsTraits>(
            config, io,
            configured(restinio::server_settings_t<TlsTraits>{}).tls_context(std::move(tls)),
            finishWork, endAtOnce);
    } else {
        failure = serve<Traits>(config, io, configured(restinio::server_settings_t<Traits>{}),
                                finishWork, endAtOnce);
    }

    finishWork(); // when the server failed to start, nothing ran: this is then immediate
    if (failure)
        std::rethrow_exception(failure);
    return 0;
}

} // namespace pindle
