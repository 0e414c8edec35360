#include "api/BrowserPages.h"

#include "WebPage.h"
#include "api/SameOrigin.h"

namespace pindle {

namespace {

std::string cookieAttributes(bool secure) {
    return std::string(secure ? "; Secure" : "") + "; Path=/; HttpOnly; SameSite=Strict";
}

} // namespace

bool securePage(const ApiContext &context, const HttpRequest &request) {
    return ownOrigin(request, context.config.trustedProxies).rfind("https://", 0) == 0;
}

HttpResponse pageResponse(int status, std::string page, const std::vector<std::string> &cookies) {
    HttpResponse response{status, "text/html; charset=utf-8", std::move(page)};
    response.headers = {{"Content-Security-Policy", webPagePolicy()},
                        {"Referrer-Policy", "same-origin"}};
    for (const std::string &cookie : cookies)
        response.headers.emplace_back("Set-Cookie", cookie);
    return response;
}

std::string SessionCookie::name(bool secure) {
    return secure ? "__Host-pindle-session" : "pindle-session";
}

std::string SessionCookie::set(const std::string &token, bool secure, std::int64_t seconds) {
    return name(secure) + '=' + token + cookieAttributes(secure) +
           "; Max-Age=" + std::to_string(seconds);
}

std::string SessionCookie::cleared(bool secure) {
    return name(secure) + '=' + cookieAttributes(secure) + "; Max-Age=0";
}

std::string SessionCookie::fromRequest(const HttpRequest &request, bool secure) {
    std::string token = cookieValue(request.cookie, name(secure));
    // Tokens have the form tokens of the sign-up page have: anything else was not made here.
    return FormToken::wellFormed(token) ? token : std::string();
}

} // namespace pindle
