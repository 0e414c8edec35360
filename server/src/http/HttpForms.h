#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pindle {

struct FormPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::string data;
};

/// The parts of a multipart/form-data body, or nothing when it is malformed or a name or plain
/// field is not UTF-8.
[[nodiscard]] std::optional<std::vector<FormPart>> parseMultipart(std::string_view contentType,
                                                                  std::string_view body);
/// The fields of an application/x-www-form-urlencoded body.
[[nodiscard]] std::map<std::string, std::string> parseUrlEncoded(std::string_view body);
/// Whether a Content-Type header names `type` (lower case), with or without parameters.
[[nodiscard]] bool hasMediaType(std::string_view contentType, std::string_view type);
/// The address a request came from: the peer, or, when the peer is a trusted proxy, the nearest
/// address in X-Forwarded-For that is not one of them.
[[nodiscard]] std::string clientAddressOf(const std::string &peer, std::string_view forwardedFor,
                                          const std::vector<std::string> &trustedProxies);
/// The key to count an address's attempts under: IPv6 addresses by their /64 network, since one
/// host usually holds a whole one.
[[nodiscard]] std::string addressKey(const std::string &address);
/// The value of a hexadecimal digit in either case; -1 for any other character.
[[nodiscard]] int hexDigitValue(char c);
/// Whether `text` is well-formed UTF-8: no stray or overlong bytes, surrogates or code points
/// past U+10FFFF. Nothing else may be stored, since the JSON writer refuses it.
[[nodiscard]] bool isValidUtf8(std::string_view text);
/// `text` with its ASCII letters in lower case, as header names and tokens compare.
[[nodiscard]] std::string lowercase(std::string_view text);
/// `text` without the spaces, tabs and line ends around it.
[[nodiscard]] std::string_view trimmed(std::string_view text);
/// Text made safe to place inside HTML.
[[nodiscard]] std::string escapeHtml(std::string_view text);

} // namespace pindle
