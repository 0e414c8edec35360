// Signing in and asking who is signed in.
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
    const std::string account = normalizedEmail(*email);
    const std::string accountHere = account + " " + request.clientAddress;
    const bool known = context.signedInFrom.knows(account, request.clientAddress);
    if (context.failuresByAccountAndAddress.blocked(accountHere) ||
        (!known && context.failuresByAccount.blocked(account)) ||
        context.failuresByAddress.blocked(request.clientAddress))
        return responder->reply(
            errorResponse(429, "Too many failed sign-ins. Try again in 15 minutes."));
    const std::optional<User> user = context.store.findUserByEmail(*email);
    // An unknown address costs as much time as a wrong password, so neither gives the other away.
    const bool matches =
        context.hasher.verify(*password, user ? user->passwordHash : context.decoyHash) &&
        user.has_value();
    if (!matches) {
        context.failuresByAccountAndAddress.record(accountHere);
        context.failuresByAccount.record(account);
        context.failuresByAddress.record(request.clientAddress);
        return responder->reply(errorResponse(401, "Invalid e-mail or password."));
    }
    context.failuresByAccountAndAddress.clear(accountHere);
    context.signedInFrom.remember(account, request.clientAddress);
    responder->reply(
        jsonResponse(200, json{{"token", context.sessionFor(*user)}, {"user", userJson(*user)}}));
}

void me(ApiContext &context, const HttpRequest &request,
        const std::shared_ptr<Responder> &responder) {
    const std::optional<User> user = context.authenticate(request);
    if (!user)
        return responder->reply(errorResponse(401, "Session expired. Please sign in again."));
    responder->reply(jsonResponse(200, userJson(*user)));
}

} // namespace pindle
