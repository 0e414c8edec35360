// Signing in and out, and asking who is signed in.
#include "api/Handlers.h"
#include "api/JsonReplies.h"

namespace pindle {

using nlohmann::json;

void login(ApiContext &context, const HttpRequest &request,
           const std::shared_ptr<Responder> &responder) {
    const auto body = parseObject(request.body);
    const auto email = body ? stringMember(*body, "email") : std::nullopt;
    const auto password = body ? stringMember(*body, "password") : std::nullopt;
    if (!email || !password || email->size() > 254 || password->size() > 1024)
        return responder->reply(
            errorResponse(400, "Send a JSON object with \"email\" and \"password\"."));
    using Limits = AttemptLimits;
    AttemptLimits &limits = *context.limits;
    const std::string account = normalizedEmail(*email);
    const std::string accountHere = account + " " + request.clientAddress;
    const std::int64_t now = nowSeconds();
    if (limits.blocked(Limits::failuresByAccountAndAddress, accountHere, now) ||
        limits.blocked(Limits::failuresByAddress, request.clientAddress, now) ||
        (limits.blocked(Limits::failuresByAccount, account, now) &&
         !limits.knows(account, request.clientAddress, now)))
        return responder->reply(
            errorResponse(429, "Too many failed sign-ins. Try again in 15 minutes."));
    const std::optional<User> user = context.store.findUserByEmail(*email);
    // An unknown address costs as much time as a wrong password, so neither gives the other away.
    const bool matches =
        context.hasher.verify(*password, user ? user->passwordHash : context.decoyHash) &&
        user.has_value();
    if (!matches) {
        const std::int64_t failedAt = nowSeconds();
        limits.record(Limits::failuresByAccountAndAddress, accountHere, failedAt);
        limits.record(Limits::failuresByAccount, account, failedAt);
        limits.record(Limits::failuresByAddress, request.clientAddress, failedAt);
        return responder->reply(errorResponse(401, "Invalid e-mail or password."));
    }
    limits.clear(Limits::failuresByAccountAndAddress, accountHere);
    limits.remember(account, request.clientAddress, nowSeconds());
    responder->reply(
        jsonResponse(200, json{{"token", context.sessionFor(*user)}, {"user", userJson(*user)}}));
}

// Answers 204 whether or not the session was still valid: it is over either way. Only a request
// that names no session at all is refused.
void logout(ApiContext &context, const HttpRequest &request,
            const std::shared_ptr<Responder> &responder) {
    if (!context.endSession(request))
        return responder->reply(errorResponse(401, "Send the session to end as a bearer token."));
    responder->reply({204, "application/json", {}});
}

void me(ApiContext &context, const HttpRequest &request,
        const std::shared_ptr<Responder> &responder) {
    const std::optional<User> user = context.authenticate(request);
    if (!user)
        return responder->reply(errorResponse(401, "Session expired. Please sign in again."));
    responder->reply(jsonResponse(200, userJson(*user)));
}

} // namespace pindle
