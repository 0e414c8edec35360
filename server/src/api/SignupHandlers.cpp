// New accounts, from the sign-up page's form or from the client.
#include "HttpForms.h"
#include "OpenStore.h"
#include "SignupPage.h"
#include "api/Handlers.h"
#include "api/JsonReplies.h"

namespace pindle {

using nlohmann::json;

namespace {

void signUp(ApiContext &context, const HttpRequest &request,
            const std::shared_ptr<Responder> &responder, bool form) {
    std::string email, name, password;
    // Anything but UTF-8 would be stored and then break every answer that quotes it. The JSON
    // parser refuses it anyway; the form's percent escapes can spell any byte.
    bool validText = isValidUtf8(request.body);
    if (form) {
        auto fields = parseUrlEncoded(request.body);
        for (const auto &[key, value] : fields)
            validText = validText && isValidUtf8(key) && isValidUtf8(value);
        if (validText) {
            email = fields["email"];
            name = fields["name"];
            password = fields["password"];
        }
    } else if (const auto body = parseObject(request.body)) {
        email = stringMember(*body, "email").value_or("");
        name = stringMember(*body, "name").value_or("");
        password = stringMember(*body, "password").value_or("");
    }
    const auto fail = [&](int status, const std::string &message) {
        if (form)
            responder->reply(
                {status, "text/html; charset=utf-8", signupPage(message, {}, name, email)});
        else
            responder->reply(errorResponse(status, message));
    };
    if (!context.config.signupOpen)
        return fail(403, "Sign-up is closed on this server. Ask its operator for an account.");
    if (context.signupsByAddress.blocked(request.clientAddress))
        return fail(429, "Too many new accounts from here. Try again in an hour.");
    context.signupsByAddress.record(request.clientAddress);
    if (!validText)
        return fail(400, "Names, e-mail addresses and passwords must be valid UTF-8 text.");
    if (name.empty() || name.size() > 200)
        return fail(400, "Please enter your name.");
    if (const auto problem = emailProblem(email))
        return fail(400, *problem);
    if (const auto problem = passwordProblem(password))
        return fail(400, *problem);

    NewUser user;
    user.email = email;
    user.name = name;
    user.passwordHash = context.hasher.hash(password);
    user.tokenBalance = context.config.signupBalance;
    const std::optional<User> created = context.store.createUser(user);
    if (!created)
        return fail(409, "An account with this e-mail address already exists.");
    if (form)
        responder->reply({201, "text/html; charset=utf-8", signupPage({}, created->email)});
    else
        responder->reply(jsonResponse(
            201, json{{"token", context.sessionFor(*created)}, {"user", userJson(*created)}}));
}

} // namespace

void signupForm(ApiContext &, const HttpRequest &, const std::shared_ptr<Responder> &responder) {
    responder->reply({200, "text/html; charset=utf-8", signupPage({}, {})});
}

void signUpFromForm(ApiContext &context, const HttpRequest &request,
                    const std::shared_ptr<Responder> &responder) {
    signUp(context, request, responder, true);
}

void signUpFromJson(ApiContext &context, const HttpRequest &request,
                    const std::shared_ptr<Responder> &responder) {
    signUp(context, request, responder, false);
}

} // namespace pindle
