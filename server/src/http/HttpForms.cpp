#include "http/HttpForms.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace pindle {

namespace {

// The value of `key=` in a header's parameters, unquoted.
std::optional<std::string> parameter(std::string_view header, std::string_view key) {
    const std::string haystack = lowercase(header);
    size_t at = 0;
    while ((at = haystack.find(key, at)) != std::string::npos) {
        const bool starts = at == 0 || haystack[at - 1] == ';' || haystack[at - 1] == ' ';
        const size_t valueAt = at + key.size();
        if (!starts || valueAt >= header.size() || header[valueAt] != '=') {
            ++at;
            continue;
        }
        std::string_view value = header.substr(valueAt + 1);
        if (!value.empty() && value.front() == '"') {
            const size_t close = value.find('"', 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            return std::string(value.substr(1, close - 1));
        }
        return std::string(value.substr(0, value.find(';')));
    }
    return std::nullopt;
}

std::string decodeComponent(std::string_view text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            result += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() + 0 && hexDigitValue(text[i + 1]) >= 0 &&
                   hexDigitValue(text[i + 2]) >= 0) {
            result += char(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

// A form part with what its head says: its name, file name and type.
FormPart partOfHead(std::string_view head) {
    FormPart part;
    while (!head.empty()) {
        const size_t lineEnd = std::min(head.find("\r\n"), head.size());
        const std::string_view line = head.substr(0, lineEnd);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            const std::string name = lowercase(line.substr(0, colon));
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ')
                value.remove_prefix(1);
            if (name == "content-disposition") {
                part.name = parameter(value, "name").value_or("");
                part.fileName = parameter(value, "filename").value_or("");
            } else if (name == "content-type") {
                part.contentType = std::string(value);
            }
        }
        head.remove_prefix(std::min(lineEnd + 2, head.size()));
    }
    return part;
}

// Where the data of a part that starts at `dataAt` ends (at the CRLF before the next delimiter),
// or npos when nothing ends it. A delimiter counts only where the line ends with it (or it closes
// the body): the sender does not search its data for the boundary, so a prefix of it may occur
// there.
size_t partEnd(std::string_view body, const std::string &delimiter, size_t dataAt) {
    for (size_t next = dataAt;; next += 2) {
        next = body.find("\r\n" + delimiter, next);
        if (next == std::string_view::npos)
            return next;
        const std::string_view after = body.substr(next + 2 + delimiter.size(), 2);
        if (after == "\r\n" || after == "--")
            return next;
    }
}

} // namespace

std::optional<std::vector<FormPart>> parseMultipart(std::string_view contentType,
                                                    std::string_view body) {
    if (lowercase(contentType).rfind("multipart/form-data", 0) != 0)
        return std::nullopt;
    const auto boundary = parameter(contentType, "boundary");
    if (!boundary || boundary->empty() || boundary->size() > 200)
        return std::nullopt;
    const std::string delimiter = "--" + *boundary;

    std::vector<FormPart> parts;
    size_t at = body.find(delimiter);
    if (at == std::string_view::npos)
        return std::nullopt;
    for (;;) {
        at += delimiter.size();
        if (body.substr(at, 2) == "--")
            return parts;
        if (body.substr(at, 2) != "\r\n")
            return std::nullopt;
        at += 2;
        const size_t headEnd = body.find("\r\n\r\n", at);
        if (headEnd == std::string_view::npos)
            return std::nullopt;
        FormPart part = partOfHead(body.substr(at, headEnd - at));
        const size_t dataAt = headEnd + 4;
        const size_t next = partEnd(body, delimiter, dataAt);
        if (next == std::string_view::npos)
            return std::nullopt;
        part.data = std::string(body.substr(dataAt, next - dataAt));
        // Files may hold any bytes; names and plain fields are text.
        const bool textField = part.fileName.empty() && part.contentType.empty();
        if (!isValidUtf8(part.name) || !isValidUtf8(part.fileName) ||
            !isValidUtf8(part.contentType) || (textField && !isValidUtf8(part.data)))
            return std::nullopt;
        parts.push_back(std::move(part));
        at = next + 2;
    }
}

std::map<std::string, std::string> parseUrlEncoded(std::string_view body) {
    std::map<std::string, std::string> fields;
    while (!body.empty()) {
        const size_t end = std::min(body.find('&'), body.size());
        const std::string_view pair = body.substr(0, end);
        const size_t equals = pair.find('=');
        if (equals != std::string_view::npos)
            fields.emplace(decodeComponent(pair.substr(0, equals)),
                           decodeComponent(pair.substr(equals + 1)));
        body.remove_prefix(std::min(end + 1, body.size()));
    }
    return fields;
}

bool hasMediaType(std::string_view contentType, std::string_view type) {
    std::string_view named = contentType.substr(0, contentType.find(';'));
    while (!named.empty() && (named.front() == ' ' || named.front() == '\t'))
        named.remove_prefix(1);
    while (!named.empty() && (named.back() == ' ' || named.back() == '\t'))
        named.remove_suffix(1);
    return lowercase(named) == type;
}

std::string clientAddressOf(const std::string &peer, std::string_view forwardedFor,
                            const std::vector<std::string> &trustedProxies) {
    const auto trusted = [&](std::string_view address) {
        return std::find(trustedProxies.begin(), trustedProxies.end(), address) !=
               trustedProxies.end();
    };
    if (!trusted(peer))
        return peer;
    std::string client = peer;
    while (!forwardedFor.empty()) {
        const size_t comma = forwardedFor.rfind(',');
        std::string_view hop =
            comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1);
        forwardedFor =
            comma == std::string_view::npos ? std::string_view() : forwardedFor.substr(0, comma);
        while (!hop.empty() && hop.front() == ' ')
            hop.remove_prefix(1);
        while (!hop.empty() && hop.back() == ' ')
            hop.remove_suffix(1);
        if (hop.empty())
            continue;
        client = std::string(hop);
        if (!trusted(hop))
            break;
    }
    return client;
}

std::string addressKey(const std::string &address) {
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) != 1)
        return address;
    char text[INET6_ADDRSTRLEN];
    std::memset(v6.s6_addr + 8, 0, 8);
    inet_ntop(AF_INET6, &v6, text, sizeof text);
    return std::string(text) + "/64";
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The second byte's range excludes overlong forms, surrogates and values past U+10FFFF.
        size_t length = 0;
        unsigned char low = 0x80, high = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
            low = lead == 0xe0 ? 0xa0 : 0x80;
            high = lead == 0xed ? 0x9f : 0xbf;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
            low = lead == 0xf0 ? 0x90 : 0x80;
            high = lead == 0xf4 ? 0x8f : 0xbf;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xbf))
                return false;
        }
        i += length;
    }
    return true;
}

std::string escapeHtml(std::string_view text) {
    std::string result;
    for (const char c : text) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '"':
            result += "&quot;";
            break;
        case '\'':
            result += "&#39;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

std::string lowercase(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return result;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last + 1 - first);
}

} // namespace pindle
