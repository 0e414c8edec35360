#pragma once

#include "api/ApiContext.h"
#include "api/HttpExchange.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

namespace pindle {

/// The backend's HTTP API, independent of the HTTP library that carries it: a table of routes
/// (method and path to handler) and the thread each handler runs on.
class Api final {
public:
    /// `workers` run store calls; `hashing` runs sign-ins and sign-ups, whose password hashes
    /// are slow, so they never hold up the rest.
    Api(Config config, Store &store, WorkerPool &workers, WorkerPool &hashing,
        ModelProvider &provider, Ledger &ledger);

    void handle(HttpRequest request, std::shared_ptr<Responder> responder);
    /// From now on every request is answered 503 at once: the server is shutting down.
    void refuseNewRequests() { m_refusing = true; }

    /// The largest body a request for `path` (without its query) may carry, checked before it is
    /// read: a few KiB for sign-in and everything unknown, more where pictures or audio arrive.
    [[nodiscard]] static std::uint64_t bodyLimit(const Config &config, std::string_view method,
                                                 std::string_view path);

private:
    ApiContext m_context;
    std::atomic<bool> m_refusing = false;
};

} // namespace pindle
