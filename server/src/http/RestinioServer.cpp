// The one place that runs RESTinio: it carries requests to the Api and its answers back.
#include "http/RestinioServer.h"

#include "Log.h"
#include "api/Api.h"
#include "http/ConnectionLimits.h"
#include "http/HttpLimits.h"
#include "http/ParserLimits.h"
#include "http/RestinioResponder.h"
#include "http/RestinioTraits.h"

#include <algorithm>
#include <csignal>
#include <iostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pindle {

namespace {

// The request as the Api sees it.
HttpRequest carriedRequest(const restinio::request_handle_t &request, std::string body, bool tls) {
    const auto &header = request->header();
    HttpRequest carried;
    carried.method = header.method().c_str();
    carried.path = std::string(header.path());
    carried.authorization = header.get_field_or(restinio::http_field::authorization, "");
    carried.contentType = header.get_field_or(restinio::http_field::content_type, "");
    carried.systemPrompt = header.get_field_or("X-Pindle-System-Prompt", "");
    carried.body = std::move(body);
    carried.clientAddress = request->remote_endpoint().address().to_string();
    carried.forwardedFor = header.get_field_or("X-Forwarded-For", "");
    carried.origin = header.get_field_or(restinio::http_field::origin, "");
    carried.referer = header.get_field_or(restinio::http_field::referer, "");
    carried.host = header.get_field_or(restinio::http_field::host, "");
    carried.peerAddress = carried.clientAddress;
    carried.forwardedProto = header.get_field_or("X-Forwarded-Proto", "");
    carried.forwardedHost = header.get_field_or("X-Forwarded-Host", "");
    carried.cookie = header.get_field_or(restinio::http_field::cookie, "");
    carried.tls = tls;
    return carried;
}

restinio::asio_ns::ssl::context tlsContext(const Config &config) {
    namespace ssl = restinio::asio_ns::ssl;
    ssl::context tls{ssl::context::tls_server};
    tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                    ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                    ssl::context::single_dh_use);
    tls.use_certificate_chain_file(config.tlsCertificate);
    tls.use_private_key_file(config.tlsPrivateKey, ssl::context::pem);
    return tls;
}

// One run of a RESTinio server on `io`: from opening until SIGINT or SIGTERM and the end of the
// work under way, or until a second signal ends it at once.
template <typename ServerTraits> class ServingRun {
public:
    using ErrorCode = restinio::asio_ns::error_code;

    template <typename Settings>
    ServingRun(const Config &config, restinio::asio_ns::io_context &io, Settings settings,
               const std::function<void()> &finishWork, const std::function<void(int)> &endAtOnce)
        : m_config(config)
        , m_io(io)
        , m_finishWork(finishWork)
        , m_endAtOnce(endAtOnce)
        , m_server{restinio::external_io_context(io), std::move(settings)}
        , m_signals(m_server.io_context(), SIGINT, SIGTERM)
        , m_hangups(m_server.io_context(), SIGHUP) {}

    std::exception_ptr run() {
        awaitStop();
        awaitHangup();
        open();
        runIo();
        if (m_stopping.joinable())
            m_stopping.join();
        return m_failure;
    }

private:
    void awaitStop() {
        m_signals.async_wait([this](const ErrorCode &error, int) {
            if (error)
                return;
            logLine("stopping: finishing the answers under way (SIGTERM or Ctrl+C again ends the "
                    "server at once)");
            m_signals.async_wait([this](const ErrorCode &again, int signal) {
                if (!again)
                    m_endAtOnce(signal);
            });
            // The work under way ends on a thread of its own while the connections go on
            // carrying its answers; they close only once those are written.
            m_stopping = std::thread([this] {
                m_finishWork();
                restinio::asio_ns::post(m_io, [this] { close(); });
            });
        });
    }

    // A hangup is how a service manager asks for a reload. The configuration is read once, at
    // start: say so and go on serving rather than end as SIGHUP would.
    void awaitHangup() {
        m_hangups.async_wait([this](const ErrorCode &error, int) {
            if (error)
                return;
            std::cerr << "pindle-server: the configuration is read only at start; restart the "
                         "server for a change to take effect"
                      << std::endl;
            awaitHangup();
        });
    }

    void open() {
        m_server.open_async(
            [this] {
                std::cerr << "pindle-server listening on "
                          << (m_config.tlsEnabled() ? "https" : "http") << "://"
                          << m_config.listenAddress << ':' << m_config.port << std::endl;
            },
            [this](std::exception_ptr ex) { fail(ex); });
    }

    void close() {
        m_server.close_async([this] { m_server.io_context().stop(); },
                             [this](std::exception_ptr ex) { fail(ex); });
    }

    void fail(std::exception_ptr ex) {
        m_failure = ex;
        m_server.io_context().stop();
    }

    void runIo() {
        std::vector<std::thread> threads;
        for (int i = 1; i < m_config.ioThreads; ++i)
            threads.emplace_back([this] { m_io.run(); });
        m_io.run();
        for (std::thread &thread : threads)
            thread.join();
    }

    const Config &m_config;
    restinio::asio_ns::io_context &m_io;
    const std::function<void()> &m_finishWork;
    const std::function<void(int)> &m_endAtOnce;
    restinio::http_server_t<ServerTraits> m_server;
    std::exception_ptr m_failure;
    std::thread m_stopping;
    restinio::asio_ns::signal_set m_signals;
    restinio::asio_ns::signal_set m_hangups;
};

} // namespace

struct RestinioServer::State {
    State(const Config &config, Api &api, std::uint64_t fileLimit);

    restinio::request_handling_status_t handle(const restinio::request_handle_t &request);
    template <typename Settings> Settings configured(Settings settings);

    const Config &config;
    Api &api;
    ConnectionRegistry registry;
    std::shared_ptr<ConnectionListener> listener;
    std::shared_ptr<ConnectionCaps> caps;
    BodyBudget bodyBudget;
    // Declared last: work still queued when serving ends is dropped before the registry is (and
    // the Api, which outlives this).
    restinio::asio_ns::io_context io;
};

RestinioServer::State::State(const Config &config, Api &api, std::uint64_t fileLimit)
    : config(config)
    , api(api)
    , listener(std::make_shared<ConnectionListener>(ConnectionListener{&registry}))
    // Client sockets stay below the limit, leaving room for provider sockets and the database.
    , caps(std::make_shared<ConnectionCaps>(
          config.maxConnections > 0 ? std::size_t(config.maxConnections)
                                    : defaultConnectionCap(fileLimit),
          config.maxConnectionsPerAddress > 0 ? std::size_t(config.maxConnectionsPerAddress) : 256))
    , bodyBudget(std::max<std::uint64_t>(128 * 1024 * 1024, 4 * largestBodyLimit(config))) {
    limitRequests(config, bodyBudget);
}

restinio::request_handling_status_t
RestinioServer::State::handle(const restinio::request_handle_t &request) {
    std::string body = takeParsedBody();
    if (const auto refusal = refusalOf(request->header())) {
        answerRefused(request, *refusal, config.tlsEnabled());
        return restinio::request_accepted();
    }
    HttpRequest carried = carriedRequest(request, std::move(body), config.tlsEnabled());
    auto responder = std::make_shared<RestinioResponder>(request, registry, carried.tls);
    registry.add(request->connection_id(), responder);
    // WORKAROUND: the Api answers only after this call returns. RESTinio 0.6.16 resumes reading
    // pipelined requests after a write that freed a slot of a full pipeline even when an answer
    // given here has filled that slot again, and then drops the connection. Remove once its
    // connection checks the pipeline before reading again (impl/connection.hpp,
    // finish_handling_current_write_ctx).
    restinio::asio_ns::post(io, [&api = api, carried = std::move(carried), responder]() mutable {
        try {
            api.handle(std::move(carried), responder);
        } catch (const std::exception &) {
            responder->reply({500, "application/json",
                              R"({"error":"The server could not complete the request."})"});
        }
    });
    return restinio::request_accepted();
}

template <typename Settings> Settings RestinioServer::State::configured(Settings settings) {
    return std::move(settings)
        .port(config.port)
        .address(config.listenAddress)
        .request_handler([this](restinio::request_handle_t request) { return handle(request); })
        .connection_state_listener(listener)
        .ip_blocker(caps)
        // Requests sent together are answered in order; past 16 unanswered, the rest wait in the
        // socket until answers have gone out.
        .max_pipelined_requests(16)
        // Restarted by every write: covers a slow first token, not the whole answer.
        .handle_request_timeout(std::chrono::minutes(10))
        .read_next_http_message_timelimit(requestReadLimit)
        .write_http_response_timelimit(std::chrono::seconds(60))
        .socket_options_setter([](restinio::socket_options_t &options) {
            options.set_option(restinio::asio_ns::ip::tcp::no_delay{true});
        })
        // Each route's own limit is checked first (ParserLimits.cpp); this is the largest.
        .incoming_http_msg_limits(
            restinio::incoming_http_msg_limits_t{}.max_body_size(largestBodyLimit(config)));
}

RestinioServer::RestinioServer(const Config &config, Api &api, std::uint64_t fileLimit)
    : m_state(std::make_unique<State>(config, api, fileLimit)) {}

RestinioServer::~RestinioServer() = default;

std::exception_ptr RestinioServer::serve(const std::function<void()> &finishWork,
                                         const std::function<void(int)> &endAtOnce) {
    State &state = *m_state;
    if (!state.config.tlsEnabled())
        return ServingRun<Traits>(state.config, state.io,
                                  state.configured(restinio::server_settings_t<Traits>{}),
                                  finishWork, endAtOnce)
            .run();
    return ServingRun<TlsTraits>(state.config, state.io,
                                 state.configured(restinio::server_settings_t<TlsTraits>{})
                                     .tls_context(tlsContext(state.config)),
                                 finishWork, endAtOnce)
        .run();
}

bool RestinioServer::waitUntilAnswered(std::chrono::milliseconds timeout) {
    return m_state->registry.waitUntilAnswered(timeout);
}

} // namespace pindle
