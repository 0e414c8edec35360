#pragma once

// How the Api's answers go out over RESTinio: status lines, the header fields every answer
// carries, whole answers and streams.

#include "api/HttpExchange.h"
#include "http/ParserLimits.h"

#include <restinio/all.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace pindle {

class ConnectionRegistry;

/// Carries one request's answer to its connection, and tells the Api when the client has gone.
class RestinioResponder final : public Responder,
                                public std::enable_shared_from_this<RestinioResponder> {
public:
    RestinioResponder(restinio::request_handle_t request, ConnectionRegistry &registry, bool tls);

    void reply(HttpResponse response) override;
    void beginStream(int status, const std::string &contentType) override;
    void streamChunk(std::string data) override;
    void endStream() override;
    void onDisconnect(std::function<void()> cancel) override;

    /// The connection has closed: the work for an answer not yet given is cancelled.
    void disconnected();

private:
    // Tells the registry when the last write of an answer has ended, however it ended.
    restinio::write_status_cb_t written();

    restinio::request_handle_t m_request; // let go once a stream has begun
    const restinio::connection_id_t m_connection;
    ConnectionRegistry &m_registry;
    const bool m_tls;
    std::mutex m_mutex;
    bool m_finished = false;
    bool m_gone = false;
    std::optional<restinio::response_builder_t<restinio::chunked_output_t>> m_stream;
    std::function<void()> m_cancel;
};

/// Answers a request the parser refused, and closes its connection.
void answerRefused(const restinio::request_handle_t &request, const Refusal &refusal, bool tls);

} // namespace pindle
