#pragma once

#include "api/ApiContext.h"
#include "api/HttpExchange.h"

#include <memory>

namespace pindle {

/// The backend's HTTP API, independent of the HTTP library that carries it: a table of routes
/// (method and path to handler) and the thread each handler runs on.
class Api final {
public:
    /// `workers` run store calls; `hashing` runs sign-ins and sign-ups, whose password hashes
    /// are slow, so they never hold up the rest.
    Api(Config config, Store &store, WorkerPool &workers, WorkerPool &hashing,
        ModelProvider &provider);

    void handle(HttpRequest request, std::shared_ptr<Responder> responder);

private:
    ApiContext m_context;
};

} // namespace pindle
