#pragma once

// The traits the server's RESTinio server is built with, and what they change in RESTinio: its
// acceptor, its parser's callbacks and its TLS handshake.

#include "http/ConnectionLimits.h"
#include "http/RetryingAcceptor.h"

#include <restinio/all.hpp>
#include <restinio/tls.hpp>

#include <chrono>
#include <memory>
#include <utility>

namespace pindle {

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

} // namespace pindle

// RESTinio checks one body limit for every route, and only closes the connection past it; ours
// are per route, checked before the body is kept, and answered 413 (ParserLimits.cpp).
template <> http_parser_settings restinio::impl::create_parser_settings<pindle::Methods>() noexcept;

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

// How long a client may take over the TLS handshake; afterwards the limits of plain HTTP apply.
constexpr auto tlsHandshakeLimit = std::chrono::seconds(10);

// WORKAROUND: RESTinio 0.6.16 sets no time limit on the TLS handshake (its timers start once the
// handshake is done: tls.hpp, prepare_connection_and_start_read), so a client that connects and
// never finishes one holds its connection, and its place under the caps, for good. This overload,
// more specialised and found through our traits, runs the handshake on the connection's strand
// with a timer that closes the socket when the handshake takes too long. Remove once RESTinio
// starts its timers before the TLS handshake rather than after it.
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

} // namespace pindle
