// New accounts, from the sign-up page's form or from the client.
#include "Credentials.h"
#include "SignupPage.h"
#include "api/BrowserPages.h"
#include "api/Handlers.h"
#include "api/JsonReplies.h"
#include "api/SameOrigin.h"
#include "http/HttpForms.h"

namespace pindle {

using nlohmann::json;

namespace {

// The page, with the form token's cookie when `token` is set.
HttpResponse signupResponse(int status, std::string page, const std::string &token, bool secure) {
    if (token.empty())
        return pageResponse(status, std::move(page));
    return pageResponse(status, std::move(page), {FormToken::setCookie(token, secure)});
}

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
        if (form) {
            const bool secure = securePage(context, request);
            const std::string token = FormToken::fromCookie(request, secure);
            responder->reply(
                signupResponse(status, signupPage(token, message, {}, name, email), token, secure));
        } else {
            responder->reply(errorResponse(status, message));
        }
    };
    if (!context.config.signupOpen)
        return fail(403, "Sign-up is closed on this server. Ask its operator for an account.");
    // Counted and checked in one step, so servers racing on one address let five through.
    if (!context.limits->record(AttemptLimits::signupsByAddress, request.clientAddress,
                                nowSeconds()))
        return fail(429, "Too many new accounts from here. Try again in an hour.");
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
    user.subscriptionStatus = context.config.defaultPlan;
    user.tokenBalance = context.config.signupBalance;
    const std::optional<User> created = context.store.createUser(user);
    if (!created)
        return fail(409, "An account with this e-mail address already exists.");
    if (form)
        responder->reply(signupResponse(201, signupPage({}, {}, created->email), {}, false));
    else
        responder->reply(jsonResponse(
            201, json{{"token", context.sessionFor(*created)}, {"user", userJson(*created)}}));
}

} // namespace

// The form token stays the one the browser holds, so that pages open in several tabs all work.
void signupForm(ApiContext &context, const HttpRequest &request,
                const std::shared_ptr<Responder> &responder) {
    const bool secure = securePage(context, request);
    std::string token = FormToken::fromCookie(request, secure);
    if (token.empty())
        token = newSessionToken();
    responder->reply(signupResponse(200, signupPage(token, {}, {}), token, secure));
}

// Only the page itself may post its form: another site can make a browser send it, with the
// user's cookies, but cannot name this server as its origin nor read the token.
void signUpFromForm(ApiContext &context, const HttpRequest &request,
                    const std::shared_ptr<Responder> &responder) {
    const std::string own = ownOrigin(request, context.config.trustedProxies);
    const bool secure = own.rfind("https://", 0) == 0;
    const std::string cookie = FormToken::fromCookie(request, secure);
    if (!sentFromOwnPage(request, own) ||
        !FormToken::matches(cookie, parseUrlEncoded(request.body)["csrf"])) {
        const std::string token = cookie.empty() ? newSessionToken() : cookie;
        return responder->reply(signupResponse(
            403,
            signupPage(token,
                       "This form has expired or was sent from another website. Reload the page "
                       "and try again.",
                       {}),
            token, secure));
    }
    signUp(context, request, responder, true);
}

// Programs send JSON and no Origin. A browser sends text/plain across sites without asking
// first, and an Origin that is not this server's.
void signUpFromJson(ApiContext &context, const HttpRequest &request,
                    const std::shared_ptr<Responder> &responder) {
    if (!hasMediaType(request.contentType, "application/json"))
        return responder->reply(
            errorResponse(415, "Send the sign-up as JSON (Content-Type: application/json)."));
    if (!originAllowed(request, ownOrigin(request, context.config.trustedProxies)))
        return responder->reply(
            errorResponse(403, "Accounts can be created only on this server's own sign-up page."));
    signUp(context, request, responder, false);
}

} // namespace pindle
