// The one place that knows RESTinio: it carries requests to the Api and its answers back.
#include "HttpServer.h"

#include "OpenStore.h"
#include "ProviderClient.h"
#include "api/Api.h"

#include <restinio/all.hpp>
#include <restinio/tls.hpp>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <iostream>
#include <mutex>
#include <stop_token>
#include <thread>
#include <unordered_map>

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
    case 429:
        reason = "Too Many Requests";
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
    }
    return {restinio::http_status_code_t{std::uint16_t(status)}, reason};
}

class RestinioResponder;

// Which answers each open connection is waiting for (more than one when requests are
// pipelined), so a closed connection cancels their work.
class ConnectionRegistry {
public:
    void add(restinio::connection_id_t id, const std::shared_ptr<RestinioResponder> &responder) {
        std::lock_guard lock(m_mutex);
        m_waiting.emplace(id, responder);
    }
    void remove(restinio::connection_id_t id, const RestinioResponder *responder) {
        std::lock_guard lock(m_mutex);
        const auto [first, last] = m_waiting.equal_range(id);
        for (auto it = first; it != last; ++it) {
            const auto held = it->second.lock();
            if (!held || held.get() == responder) {
                m_waiting.erase(it);
                return;
            }
        }
    }
    void closed(restinio::connection_id_t id);

private:
    std::mutex m_mutex;
    std::unordered_multimap<restinio::connection_id_t, std::weak_ptr<RestinioResponder>> m_waiting;
};

class RestinioResponder final : public Responder,
                                public std::enable_shared_from_this<RestinioResponder> {
public:
    RestinioResponder(restinio::request_handle_t request, ConnectionRegistry &registry)
        : m_request(std::move(request))
        , m_registry(registry) {}

    void reply(HttpResponse response) override {
        std::lock_guard lock(m_mutex);
        if (m_finished || m_stream)
            return;
        m_finished = true;
        m_request->create_response(statusLine(response.status))
            .append_header(restinio::http_field::content_type, response.contentType)
            .append_header(restinio::http_field::cache_control, "no-store")
            .set_body(std::move(response.body))
            .done();
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
        m_stream->done();
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
    restinio::request_handle_t m_request;
    ConnectionRegistry &m_registry;
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
}

struct ConnectionListener {
    ConnectionRegistry *registry = nullptr;

    void state_changed(const restinio::connection_state::notice_t &notice) noexcept {
        if (restinio::holds_alternative<restinio::connection_state::closed_t>(notice.cause()))
            registry->closed(notice.connection_id());
    }
};

// WORKAROUND: RESTinio 0.6.16's connection-count limiter lives in the acceptor, and connections
// still open when the server shuts down reach back into it after it is gone (use after free
// under ASan). The limiter stays off; the open-file limit and a reverse proxy bound connections.
struct Traits : restinio::default_traits_t {
    using connection_state_listener_t = ConnectionListener;
};

struct TlsTraits : restinio::default_tls_traits_t {
    using connection_state_listener_t = ConnectionListener;
};

// Runs one server until SIGINT or SIGTERM; returns what made it fail to start, if anything.
template <typename ServerTraits, typename Settings>
std::exception_ptr serve(const Config &config, Settings settings,
                         const std::function<void()> &finishWork) {
    restinio::http_server_t<ServerTraits> server{restinio::own_io_context(), std::move(settings)};
    std::exception_ptr failure;
    restinio::asio_ns::signal_set signals(server.io_context(), SIGINT, SIGTERM);
    signals.async_wait([&](const restinio::asio_ns::error_code &error, int) {
        if (error)
            return;
        // Answers still under way are finished while the server can carry them; only then
        // does it close, so no answer outlives the connections it writes to.
        finishWork();
        server.close_async([&] { server.io_context().stop(); },
                           [&](std::exception_ptr ex) { failure = ex; });
    });
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
        threads.emplace_back([&] { server.io_context().run(); });
    server.io_context().run();
    for (std::thread &thread : threads)
        thread.join();
    return failure;
}

} // namespace

int runServer(const Config &config) {
    // Each open stream holds two sockets (client and provider): allow as many as the system does.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    const std::unique_ptr<Store> store = openStore(config.database);
    // Ended sessions are useless; clear them out now and every hour.
    std::jthread housekeeping([&store](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any tick;
        std::unique_lock lock(mutex);
        while (!stop.stop_requested()) {
            try {
                store->deleteExpiredSessions(
                    std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count());
            } catch (const StoreError &) {
                // The database is unreachable for now; the next round tries again.
            }
            tick.wait_for(lock, stop, std::chrono::hours(1), [] { return false; });
        }
    });
    WorkerPool workers(config.workerThreads);
    WorkerPool hashing(2);
    ProviderClient provider;
    Api api(config, *store, workers, hashing, provider);
    ConnectionRegistry registry;
    auto listener = std::make_shared<ConnectionListener>();
    listener->registry = &registry;

    auto handler = [&](restinio::request_handle_t request) {
        HttpRequest carried;
        carried.method = request->header().method().c_str();
        carried.path = std::string(request->header().path());
        carried.authorization =
            request->header().get_field_or(restinio::http_field::authorization, "");
        carried.contentType =
            request->header().get_field_or(restinio::http_field::content_type, "");
        carried.systemPrompt = request->header().get_field_or("X-Pindle-System-Prompt", "");
        carried.body = request->body();
        carried.clientAddress = request->remote_endpoint().address().to_string();
        carried.forwardedFor = request->header().get_field_or("X-Forwarded-For", "");
        auto responder = std::make_shared<RestinioResponder>(request, registry);
        registry.add(request->connection_id(), responder);
        try {
            api.handle(std::move(carried), responder);
        } catch (const std::exception &) {
            responder->reply({500, "application/json",
                              R"({"error":"The server could not complete the request."})"});
        }
        return restinio::request_accepted();
    };

    const auto configured = [&](auto settings) {
        return std::move(settings)
            .port(config.port)
            .address(config.listenAddress)
            .request_handler(handler)
            .connection_state_listener(listener)
            .max_pipelined_requests(2)
            // Restarted by every write: covers a slow first token, not the whole answer.
            .handle_request_timeout(std::chrono::minutes(10))
            .read_next_http_message_timelimit(std::chrono::seconds(60))
            .write_http_response_timelimit(std::chrono::seconds(60))
            .socket_options_setter([](restinio::socket_options_t &options) {
                options.set_option(restinio::asio_ns::ip::tcp::no_delay{true});
            })
            .incoming_http_msg_limits(restinio::incoming_http_msg_limits_t{}.max_body_size(
                std::uint64_t(config.maxUploadBytes) + 1024 * 1024));
    };

    // In dependency order: provider transfers end (their streams get their last lines and post
    // their debits), then the workers drain; both are idempotent.
    const std::function<void()> finishWork = [&] {
        provider.stop();
        hashing.stop();
        workers.stop();
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
            config,
            configured(restinio::server_settings_t<TlsTraits>{}).tls_context(std::move(tls)),
            finishWork);
    } else {
        failure =
            serve<Traits>(config, configured(restinio::server_settings_t<Traits>{}), finishWork);
    }

    finishWork(); // when the server failed to start, nothing ran: this is then immediate
    if (failure)
        std::rethrow_exception(failure);
    return 0;
}

} // namespace pindle
