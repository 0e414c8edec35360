#include "api/Api.h"

#include "HttpForms.h"
#include "Log.h"
#include "api/Handlers.h"
#include "api/JsonReplies.h"

#include <string_view>

namespace pindle {

namespace {

// Where a handler runs: at once on the connection's thread (it must not block), on the workers
// (store calls), or on the password-hashing queue.
enum class RunsOn { Connection, Workers, Hashing };

struct Route {
    std::string_view method;
    std::string_view path;
    RunsOn runsOn;
    Handler handler;
};

void health(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &responder) {
    responder->reply(jsonResponse(200, nlohmann::json{{"status", "ok"}}));
}

// A path used with a method it does not take is pointed at the last route listed for it.
constexpr Route routes[] = {
    {"GET", "/healthz", RunsOn::Connection, health},
    {"GET", "/signup", RunsOn::Connection, signupForm},
    {"POST", "/signup", RunsOn::Hashing, signUpFromForm},
    {"POST", "/api/auth/signup", RunsOn::Hashing, signUpFromJson},
    {"POST", "/api/auth/login", RunsOn::Hashing, login},
    {"GET", "/api/auth/me", RunsOn::Workers, me},
    {"POST", "/api/chat", RunsOn::Workers, chat},
    {"POST", "/api/chat/transcribe", RunsOn::Workers, transcribe},
};

} // namespace

Api::Api(Config config, Store &store, WorkerPool &workers, WorkerPool &hashing,
         ModelProvider &provider)
    : m_context(std::move(config), store, workers, hashing, provider) {}

void Api::handle(HttpRequest request, std::shared_ptr<Responder> responder) {
    request.clientAddress = addressKey(clientAddressOf(request.clientAddress, request.forwardedFor,
                                                       m_context.config.trustedProxies));
    const Route *route = nullptr;
    const Route *samePath = nullptr;
    for (const Route &candidate : routes) {
        if (candidate.path != request.path)
            continue;
        samePath = &candidate;
        if (candidate.method == request.method)
            route = &candidate;
    }
    if (!samePath)
        return responder->reply(errorResponse(404, "There is nothing at " + request.path + "."));
    if (!route)
        return responder->reply(errorResponse(405, "Use " + std::string(samePath->method) +
                                                       " for " + request.path + "."));
    if (route->runsOn == RunsOn::Connection)
        return route->handler(m_context, request, responder);

    // Handlers that block run on a pool; a failure there still gets an answer.
    auto work = [this, handler = route->handler, request = std::move(request), responder] {
        try {
            handler(m_context, request, responder);
        } catch (const std::exception &error) {
            logLine(std::string("request failed: ") + error.what());
            responder->reply(
                errorResponse(500, "The server could not complete the request. Try again later."));
        }
    };
    if (route->runsOn == RunsOn::Workers)
        return m_context.workers.post(std::move(work));
    // Password hashing has a queue of its own, and a short one: past it, say so at once.
    if (!m_context.hashing.tryPost(std::move(work), 64))
        responder->reply(
            errorResponse(503, "The server is busy signing people in. Try again in a moment."));
}

} // namespace pindle
