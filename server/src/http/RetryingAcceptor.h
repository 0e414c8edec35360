#pragma once

#include "http/ConnectionLimits.h"

#include <restinio/all.hpp>

#include <chrono>
#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pindle {

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

} // namespace pindle
