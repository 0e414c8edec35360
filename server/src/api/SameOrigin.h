#pragma once

#include "api/HttpExchange.h"

#include <string>
#include <string_view>
#include <vector>

namespace pindle {

/// "scheme://host[:port]" of an http or https URL or Origin header, in lower case and without the
/// scheme's default port; empty for anything else ("null", a path, another scheme, a user name).
[[nodiscard]] std::string originOf(std::string_view url);

/// The origin the browser gives this server's pages for `request`: the scheme the request reached
/// the server by and its Host, or what X-Forwarded-Proto and X-Forwarded-Host say when a trusted
/// proxy sent it. Empty when the Host is missing or malformed.
[[nodiscard]] std::string ownOrigin(const HttpRequest &request,
                                    const std::vector<std::string> &trustedProxies);

/// Whether a browser sent `request` from one of the server's own pages: its Origin is `own`, or,
/// when it has none, its Referer's is. A request with neither is not.
[[nodiscard]] bool sentFromOwnPage(const HttpRequest &request, const std::string &own);

/// Whether the request's Origin, when it has one, is `own`. Programs send none.
[[nodiscard]] bool originAllowed(const HttpRequest &request, const std::string &own);

/// The value of the cookie `name` in a Cookie header, unquoted; empty when it has none.
[[nodiscard]] std::string cookieValue(std::string_view header, std::string_view name);

/// The sign-up form's guard against other sites posting it: a random token both in a cookie,
/// which only pages of this site can make the browser send, and in a hidden field of the form.
/// Several servers need no shared state for it: each compares the two it is sent.
class FormToken final {
public:
    /// The cookie's name: with the "__Host-" prefix under https, so that the browser keeps it to
    /// this host and no other site under the same domain can plant one.
    [[nodiscard]] static std::string cookieName(bool secure);
    /// The Set-Cookie value carrying `token`.
    [[nodiscard]] static std::string setCookie(const std::string &token, bool secure);
    /// The token a request's cookie holds, when it is one this server could have made.
    [[nodiscard]] static std::string fromCookie(const HttpRequest &request, bool secure);
    /// Whether `field` (the form's) equals `cookie`, compared in constant time.
    [[nodiscard]] static bool matches(std::string_view cookie, std::string_view field);
    /// Whether `token` has the shape of one this server makes.
    [[nodiscard]] static bool wellFormed(std::string_view token);
};

} // namespace pindle
