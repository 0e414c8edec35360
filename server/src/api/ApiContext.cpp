#include "api/ApiContext.h"

namespace pindle {

namespace {

// The token of an Authorization header that bears one.
std::optional<std::string_view> bearerToken(const HttpRequest &request) {
    constexpr std::string_view scheme = "Bearer ";
    if (request.authorization.rfind(scheme, 0) != 0)
        return std::nullopt;
    const std::string_view token = std::string_view(request.authorization).substr(scheme.size());
    if (token.empty() || token.size() > 256)
        return std::nullopt;
    return token;
}

} // namespace

ApiContext::ApiContext(Config config, Store &store, WorkerPool &workers, WorkerPool &hashing,
                       ModelProvider &provider, Ledger &ledger)
    : config(std::move(config))
    , store(store)
    , workers(workers)
    , hashing(hashing)
    , provider(provider)
    , models(this->config, provider)
    , billing(ledger)
    , decoyHash(hasher.hash("decoy password for unknown accounts"))
    , limits(store.attemptLimits()) {}

std::optional<User> ApiContext::authenticate(const HttpRequest &request) {
    const auto token = bearerToken(request);
    if (!token)
        return std::nullopt;
    return store.findSessionUser(hashSessionToken(*token), nowSeconds());
}

bool ApiContext::endSession(const HttpRequest &request) {
    const auto token = bearerToken(request);
    if (!token)
        return false;
    store.deleteSession(hashSessionToken(*token));
    return true;
}

std::string ApiContext::sessionFor(const User &user) {
    std::string token = newSessionToken();
    store.createSession(hashSessionToken(token), user.id, config.sessionExpiry(nowSeconds()));
    return token;
}

} // namespace pindle
