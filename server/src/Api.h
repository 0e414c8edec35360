#pragma once

#include "Config.h"
#include "Credentials.h"
#include "ProviderClient.h"
#include "RateLimiter.h"
#include "Store.h"
#include "WorkerPool.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pindle {

struct HttpRequest {
    std::string method;
    std::string path;
    std::string authorization;
    std::string contentType;
    std::string body;
    std::string clientAddress;
    std::string forwardedFor;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

/// Where a handler sends its answer: once, whole or as a stream, from any thread.
class Responder {
public:
    virtual ~Responder() = default;
    virtual void reply(HttpResponse response) = 0;
    virtual void beginStream(int status, const std::string &contentType) = 0;
    virtual void streamChunk(std::string data) = 0;
    virtual void endStream() = 0;
    /// `cancel` runs once if the client goes away before the answer is complete (at once if it
    /// already has).
    virtual void onDisconnect(std::function<void()> cancel) = 0;
};

/// The backend's HTTP API, independent of the HTTP library that carries it.
class Api {
public:
    /// `workers` run store calls; `hashing` runs sign-ins and sign-ups, whose password hashes
    /// are slow, so they never hold up the rest.
    Api(Config config, Store &store, WorkerPool &workers, WorkerPool &hashing,
        ProviderClient &provider);

    void handle(HttpRequest request, std::shared_ptr<Responder> responder);

private:
    struct Session;

    void login(const HttpRequest &request, const std::shared_ptr<Responder> &responder);
    void signUp(const HttpRequest &request, const std::shared_ptr<Responder> &responder, bool form);
    void me(const HttpRequest &request, const std::shared_ptr<Responder> &responder);
    void chat(const HttpRequest &request, const std::shared_ptr<Responder> &responder);
    void transcribe(const HttpRequest &request, const std::shared_ptr<Responder> &responder);
    std::optional<User> authenticate(const HttpRequest &request);
    std::string sessionFor(const User &user);
    /// Charges `tokens` and returns the `reserved` ones, off the calling thread.
    void debitLater(std::int64_t userId, std::int64_t tokens, const std::string &model,
                    std::int64_t reserved);

    Config m_config;
    Store &m_store;
    WorkerPool &m_workers;
    WorkerPool &m_hashing;
    ProviderClient &m_provider;
    PasswordHasher m_hasher;
    // Wrong passwords: per account from one address, per account from anywhere, per address.
    RateLimiter m_failuresByAccountAndAddress{5, std::chrono::minutes(15)};
    RateLimiter m_failuresByAccount{50, std::chrono::minutes(15)};
    RateLimiter m_failuresByAddress{20, std::chrono::minutes(15)};
    RateLimiter m_signupsByAddress{5, std::chrono::hours(1)};
    std::string m_decoyHash;
};

} // namespace pindle
