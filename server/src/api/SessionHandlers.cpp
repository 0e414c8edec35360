// Signing in and out, and asking who is signed in.
#include "api/Handlers.h"
#include "api/JsonReplies.h"
#include "api/PasswordCheck.h"

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
    const PasswordCheck check = checkPassword(context, *email, *password, request.clientAddress);
    if (check.outcome == PasswordCheck::Outcome::TooManyFailures)
        return responder->reply(
            errorResponse(429, "Too many failed sign-ins. Try again in 15 minutes."));
    if (check.outcome == PasswordCheck::Outcome::Wrong)
        return responder->reply(errorResponse(401, "Invalid e-mail or password."));
    const User &user = *check.user;
    responder->reply(
        jsonResponse(200, json{{"token", context.sessionFor(user)}, {"user", userJson(user)}}));
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
