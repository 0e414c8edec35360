#include "api/SameOrigin.h"

#include "http/HttpForms.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace pindle {

namespace {

// The first of a list a chain of proxies built: the one the client-facing proxy saw.
std::string_view firstListed(std::string_view list) {
    return trimmed(list.substr(0, list.find(',')));
}

} // namespace

std::string originOf(std::string_view url) {
    const size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return {};
    const std::string scheme = lowercase(url.substr(0, schemeEnd));
    if (scheme != "http" && scheme != "https")
        return {};
    std::string_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (authority.empty() || authority.find_first_of("@ \t\\") != std::string_view::npos)
        return {};

    // An IPv6 address is bracketed; whatever follows the host is the port.
    size_t hostEnd = std::min(authority.find(':'), authority.size());
    if (authority.front() == '[') {
        const size_t close = authority.find(']');
        hostEnd = close == std::string_view::npos ? 0 : close + 1;
    }
    if (hostEnd == 0 || authority.substr(0, hostEnd) == "[]")
        return {};
    const std::string host = lowercase(authority.substr(0, hostEnd));
    std::string_view port = authority.substr(hostEnd);
    if (!port.empty() && port.front() != ':')
        return {};
    port = port.substr(std::min<size_t>(1, port.size()));
    // An empty port is the default one, as is the scheme's own.
    unsigned number = scheme == "http" ? 80 : 443;
    if (!port.empty()) {
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size() || number == 0 ||
            number > 65535)
            return {};
    }
    if ((scheme == "http" && number == 80) || (scheme == "https" && number == 443))
        return scheme + "://" + host;
    return scheme + "://" + host + ':' + std::to_string(number);
}

std::string ownOrigin(const HttpRequest &request, const std::vector<std::string> &trustedProxies) {
    std::string scheme = request.tls ? "https" : "http";
    std::string_view host = request.host;
    if (std::find(trustedProxies.begin(), trustedProxies.end(), request.peerAddress) !=
        trustedProxies.end()) {
        if (const auto proto = firstListed(request.forwardedProto); !proto.empty())
            scheme = lowercase(proto);
        if (const auto forwarded = firstListed(request.forwardedHost); !forwarded.empty())
            host = forwarded;
    }
    if (host.empty() || host.find_first_of("/?#") != std::string_view::npos)
        return {};
    return originOf(scheme + "://" + std::string(host));
}

bool sentFromOwnPage(const HttpRequest &request, const std::string &own) {
    if (own.empty())
        return false;
    if (!request.origin.empty())
        return originOf(request.origin) == own;
    return !request.referer.empty() && originOf(request.referer) == own;
}

bool originAllowed(const HttpRequest &request, const std::string &own) {
    return request.origin.empty() || (!own.empty() && originOf(request.origin) == own);
}

std::string cookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const size_t end = std::min(header.find(';'), header.size());
        const std::string_view pair = trimmed(header.substr(0, end));
        header.remove_prefix(std::min(end + 1, header.size()));
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos || trimmed(pair.substr(0, equals)) != name)
            continue;
        std::string_view value = trimmed(pair.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

std::string FormToken::cookieName(bool secure) {
    return secure ? "__Host-pindle-csrf" : "pindle-csrf";
}

std::string FormToken::setCookie(const std::string &token, bool secure) {
    return cookieName(secure) + '=' + token + (secure ? "; Secure" : "") +
           "; Path=/; HttpOnly; SameSite=Strict";
}

std::string FormToken::fromCookie(const HttpRequest &request, bool secure) {
    std::string token = cookieValue(request.cookie, cookieName(secure));
    return wellFormed(token) ? token : std::string();
}

bool FormToken::matches(std::string_view cookie, std::string_view field) {
    return wellFormed(cookie) && field.size() == cookie.size() &&
           sodium_memcmp(cookie.data(), field.data(), cookie.size()) == 0;
}

bool FormToken::wellFormed(std::string_view token) {
    return token.size() == 64 && std::all_of(token.begin(), token.end(), [](char c) {
               return hexDigitValue(c) >= 0 && !std::isupper(static_cast<unsigned char>(c));
           });
}

} // namespace pindle
