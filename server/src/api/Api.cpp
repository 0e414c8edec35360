#include "api/Api.h"

#include "Log.h"
#include "api/Handlers.h"
#include "api/JsonReplies.h"
#include "http/HttpForms.h"

#include <algorithm>
#include <string_view>

namespace pindle {

namespace {

// Where a handler runs: at once on the connection's thread (it must not block), on the workers
// (store calls), or on the password-hashing queue.
enum class RunsOn { Connection, Workers, Hashing };

// How large a body may be: sign-ins and forms are small, a chat carries Base64 screenshots, a
// transcription one recording as a multipart form.
enum class Body { Small, Chat, Upload };

struct Route {
    std::string_view method;
    std::string_view path;
    RunsOn runsOn;
    Handler handler;
    Body body;
};

void health(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &responder) {
    responder->reply(jsonResponse(200, nlohmann::json{{"status", "ok"}}));
}

// A path used with a method it does not take is pointed at the last route listed for it.
constexpr Route routes[] = {
    {"GET", "/healthz", RunsOn::Connection, health, Body::Small},
    {"GET", "/signup", RunsOn::Connection, signupForm, Body::Small},
    {"POST", "/signup", RunsOn::Hashing, signUpFromForm, Body::Small},
    {"POST", "/api/auth/signup", RunsOn::Hashing, signUpFromJson, Body::Small},
    {"GET", "/account", RunsOn::Workers, accountForm, Body::Small},
    {"POST", "/account/signin", RunsOn::Hashing, accountSignIn, Body::Small},
    {"POST", "/account/signout", RunsOn::Workers, accountSignOut, Body::Small},
    {"POST", "/account/password", RunsOn::Hashing, accountPassword, Body::Small},
    {"POST", "/account/signout-everywhere", RunsOn::Workers, accountSignOutEverywhere, Body::Small},
    {"POST", "/account/delete", RunsOn::Workers, accountDelete, Body::Small},
    {"POST", "/api/auth/login", RunsOn::Hashing, login, Body::Small},
    {"POST", "/api/auth/logout", RunsOn::Workers, logout, Body::Small},
    {"GET", "/api/auth/me", RunsOn::Workers, me, Body::Small},
    {"GET", "/api/models", RunsOn::Workers, models, Body::Small},
    {"POST", "/api/chat", RunsOn::Workers, chat, Body::Chat},
    {"POST", "/api/chat/transcribe", RunsOn::Workers, transcribe, Body::Upload},
};

constexpr std::uint64_t smallBody = 8 * 1024;
constexpr std::uint64_t chatBody = 16 * 1024 * 1024;
constexpr std::uint64_t formOverhead = 64 * 1024;

} // namespace

Api::Api(Config config, Store &store, WorkerPool &workers, WorkerPool &hashing,
         ModelProvider &provider, Ledger &ledger)
    : m_context(std::move(config), store, workers, hashing, provider, ledger) {}

std::uint64_t Api::bodyLimit(const Config &config, std::string_view method, std::string_view path) {
    const std::uint64_t upload = std::uint64_t(config.maxUploadBytes) + formOverhead;
    for (const Route &route : routes) {
        if (route.method != method || route.path != path)
            continue;
        switch (route.body) {
        case Body::Small:
            return smallBody;
        case Body::Chat:
            return std::max(chatBody, upload);
        case Body::Upload:
            return upload;
        }
    }
    return smallBody;
}

void Api::handle(HttpRequest request, std::shared_ptr<Responder> responder) {
    if (m_refusing)
        return responder->reply(shuttingDownResponse());
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
    // Password hashing has a queue of its own, and a short one: past it, say so at once, with
    // how long the queue takes to drain (a hash takes about a fifth of a second, two run at once).
    constexpr std::size_t hashingQueue = 64;
    constexpr int drainSeconds = std::max<int>(1, (hashingQueue * 200 / 2 + 999) / 1000);
    if (!m_context.hashing.tryPost(std::move(work), hashingQueue)) {
        HttpResponse busy =
            errorResponse(503, "The server is busy signing people in. Try again in " +
                                   std::to_string(drainSeconds) + " seconds.");
        busy.headers.emplace_back("Retry-After", std::to_string(drainSeconds));
        responder->reply(std::move(busy));
    }
}

} // namespace pindle
