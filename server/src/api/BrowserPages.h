#pragma once

#include "api/ApiContext.h"
#include "api/HttpExchange.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pindle {

/// Whether the browser reached the page by https (the server's own TLS, or a trusted proxy's):
/// its cookies are then named and kept as such.
[[nodiscard]] bool securePage(const ApiContext &context, const HttpRequest &request);

/// A page of the server's own with its policy, setting `cookies` (Set-Cookie values). The page
/// sends its own origin with its forms: under "no-referrer" a browser would post "Origin: null".
[[nodiscard]] HttpResponse pageResponse(int status, std::string page,
                                        const std::vector<std::string> &cookies = {});

/// The account pages' sign-in in a browser: a session like the client's, whose token the browser
/// keeps in an HttpOnly cookie that it sends back only to this site's own pages (SameSite=Strict),
/// and under https only over https and only to this host (the "__Host-" prefix). The store keeps
/// the token's hash alone, as for every session.
class SessionCookie final {
public:
    [[nodiscard]] static std::string name(bool secure);
    /// The Set-Cookie value carrying `token` for `seconds`.
    [[nodiscard]] static std::string set(const std::string &token, bool secure,
                                         std::int64_t seconds);
    /// The Set-Cookie value that makes the browser forget the session.
    [[nodiscard]] static std::string cleared(bool secure);
    /// The token the request's cookie holds, when it is one this server could have made.
    [[nodiscard]] static std::string fromRequest(const HttpRequest &request, bool secure);
};

} // namespace pindle
