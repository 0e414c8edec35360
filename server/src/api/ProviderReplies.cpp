#include "api/ProviderReplies.h"

#include "Log.h"
#include "api/JsonReplies.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <ctime>
#include <mutex>
#include <vector>

namespace pindle {

namespace {

constexpr std::string_view redacted = "[redacted]";

void replaceAll(std::string &text, std::string_view key) {
    if (key.empty())
        return;
    for (size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += redacted.size())
        text.replace(at, key.size(), redacted);
}

// The keys calls were made with. The handlers that read a provider's reply are not handed the
// configuration, and the key must be taken out of whatever they quote or log.
struct KnownKeys {
    std::mutex mutex;
    std::vector<std::string> keys;
};

KnownKeys &knownKeys() {
    static KnownKeys s_known;
    return s_known;
}

void rememberKey(const std::string &key) {
    KnownKeys &known = knownKeys();
    std::lock_guard lock(known.mutex);
    if (!key.empty() && std::find(known.keys.begin(), known.keys.end(), key) == known.keys.end())
        known.keys.push_back(key);
}

std::string withoutKeys(std::string text) {
    KnownKeys &known = knownKeys();
    std::lock_guard lock(known.mutex);
    for (const std::string &key : known.keys)
        replaceAll(text, key);
    return text;
}

bool isTokenCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
           c == '+' || c == '/' || c == '=';
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char c) {
               return lower == std::tolower(static_cast<unsigned char>(c));
           });
}

// A run of 20 or more letters and digits, mixed and varied enough to be random rather than a
// word or a model's name (those are broken up by dashes).
bool looksRandom(std::string_view token) {
    size_t run = 0;
    size_t longest = 0;
    bool letters = false;
    bool digits = false;
    std::array<int, 256> counts{};
    for (const char c : token) {
        const auto byte = static_cast<unsigned char>(c);
        run = std::isalnum(byte) ? run + 1 : 0;
        longest = std::max(longest, run);
        letters = letters || std::isalpha(byte);
        digits = digits || std::isdigit(byte);
        ++counts[byte];
    }
    if (longest < 20 || !letters || !digits)
        return false;
    double bitsPerCharacter = 0;
    for (const int count : counts) {
        if (count == 0)
            continue;
        const double share = double(count) / double(token.size());
        bitsPerCharacter -= share * std::log2(share);
    }
    return bitsPerCharacter >= 3.0;
}

// A type, code or param as the log may show it: short, of the characters such names use, and
// nothing a key could hide in.
std::string loggable(const nlohmann::json &value) {
    std::string text;
    if (value.is_string())
        text = value.get<std::string>();
    else if (value.is_number_integer())
        text = std::to_string(value.get<std::int64_t>());
    else
        return {};
    if (text.empty() || text.size() > 64)
        return text.empty() ? text : "(withheld)";
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' ||
               c == ':' || c == '/' || c == '[' || c == ']';
    });
    if (!plain || withoutKeys(text) != text || redactedProviderMessage(text, {}) != text)
        return "(withheld)";
    return text;
}

std::string capitalised(std::string text) {
    if (!text.empty())
        text[0] = char(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

HttpResponse refusal(const char *what, const ProviderHead &head, const std::string &body) {
    const long status = head.status;
    const ProviderError error = readProviderError(body);
    logLine(std::string(what) + ": the model provider refused the request (HTTP " +
            std::to_string(status) + "): " + error.forLog());
    if (status == 401 || status == 403)
        return errorResponse(502, "The model provider refused this server's credentials. Tell "
                                  "the server's operator.");
    const std::string shown = error.shown();
    if (status == 429) {
        const auto field = head.field("retry-after");
        const auto seconds =
            field ? retryAfterSeconds(*field, std::int64_t(std::time(nullptr))) : std::nullopt;
        if (!seconds)
            return errorResponse(429, "The model provider is busy. Try again in a moment.");
        HttpResponse response = errorResponse(429, "The model provider is busy. Try again in " +
                                                       std::to_string(*seconds) +
                                                       (*seconds == 1 ? " second." : " seconds."));
        response.headers.emplace_back("Retry-After", std::to_string(*seconds));
        return response;
    }
    if (status == 400)
        return errorResponse(400, shown.empty()
                                      ? "The model provider refused the request."
                                      : "The model provider refused the request: " + shown);
    const std::string text =
        "The model provider refused the request (HTTP " + std::to_string(status) + ")";
    return errorResponse(502, shown.empty() ? text + "." : text + ": " + shown);
}

} // namespace

ProviderRequest providerCall(const Config &config, const std::string &path) {
    ProviderRequest request;
    request.url = config.providerUrl + path;
    request.silenceLimit = std::chrono::seconds(config.providerTimeoutSeconds);
    if (!config.providerApiKey.empty()) {
        rememberKey(config.providerApiKey);
        request.headers.push_back("Authorization: Bearer " + config.providerApiKey);
    }
    return request;
}

std::string redactedProviderMessage(std::string_view message, std::string_view key) {
    std::string text(message);
    replaceAll(text, key);

    std::string shown;
    bool afterBearer = false; // the next token is what a "Bearer" authorises
    for (size_t at = 0; at < text.size();) {
        if (!isTokenCharacter(text[at])) {
            shown += text[at++];
            continue;
        }
        size_t end = at;
        while (end < text.size() && isTokenCharacter(text[end]))
            ++end;
        const std::string_view run(text.data() + at, end - at);
        std::string_view token = run;
        while (!token.empty() && token.back() == '.') // a sentence's full stop stays
            token.remove_suffix(1);
        const bool secret =
            !token.empty() && (afterBearer || startsWithNoCase(token, "sk-") ||
                               startsWithNoCase(token, "sk_") || looksRandom(token));
        afterBearer = token.size() == 6 && startsWithNoCase(token, "bearer");
        shown += secret ? redacted : token;
        shown += run.substr(token.size());
        at = end;
    }

    // Cut by characters, never inside one.
    size_t characters = 0;
    for (size_t at = 0; at < shown.size(); ++at) {
        if ((static_cast<unsigned char>(shown[at]) & 0xc0) == 0x80)
            continue;
        if (++characters > maxShownProviderMessage) {
            shown.resize(at);
            return shown + "…";
        }
    }
    return shown;
}

HttpResponse noProviderResponse() {
    return errorResponse(
        503, "No model provider is configured on this server: set \"provider_url\" in its "
             "configuration file (or PINDLE_PROVIDER_URL).");
}

namespace {

// An error from its JSON: an object (with "message", "type", "code", "param") or a string.
ProviderError errorFrom(const nlohmann::json &error) {
    ProviderError read;
    read.understood = true;
    if (error.is_string()) {
        read.message = error.get<std::string>();
    } else if (error.is_object()) {
        read.message =
            stringMember(error, "message").value_or(stringMember(error, "detail").value_or(""));
        for (const auto &[key, target] :
             {std::pair{"type", &read.type}, std::pair{"code", &read.code},
              std::pair{"param", &read.param}}) {
            const auto found = error.find(key);
            if (found != error.end())
                *target = loggable(*found);
        }
    }
    return read;
}

} // namespace

ProviderError readProviderError(std::string_view body, bool textIsMessage) {
    ProviderError read;
    const nlohmann::json document = nlohmann::json::parse(body, nullptr, false);
    if (document.is_object()) {
        const auto error = document.find("error");
        if (error != document.end() && (error->is_object() || error->is_string()))
            read = errorFrom(*error);
        else
            read = errorFrom(document); // the error itself, or nothing it understands
    } else if (document.is_string()) {
        read = errorFrom(document);
    } else if (textIsMessage) {
        read.message = std::string(body);
        read.understood = true;
    }
    read.bodySize = body.size();
    return read;
}

std::string ProviderError::shown() const {
    return redactedProviderMessage(withoutKeys(message), {});
}

std::string ProviderError::forLog() const {
    if (!understood)
        return "a body of " + std::to_string(bodySize) + " bytes the server did not understand";
    std::string line;
    for (const auto &[name, value] :
         {std::pair{"type", &type}, std::pair{"code", &code}, std::pair{"param", &param}}) {
        if (!value->empty())
            line += std::string(name) + " " + *value + ", ";
    }
    return line + "a message of " + std::to_string(message.size()) + " bytes";
}

std::optional<std::int64_t> retryAfterSeconds(std::string_view value, std::int64_t now) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    if (value.empty())
        return std::nullopt;
    constexpr std::int64_t longest = 7 * 24 * 3600; // beyond a week it is not a pause
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (value.size() > 9)
            return longest;
        return std::min<std::int64_t>(std::stoll(std::string(value)), longest);
    }
    // An HTTP-date in any of its three forms.
    const std::string date(value);
    const time_t when = curl_getdate(date.c_str(), nullptr);
    if (when == time_t(-1))
        return std::nullopt;
    return std::clamp<std::int64_t>(std::int64_t(when) - now, 1, longest);
}

std::optional<HttpResponse> providerFailure(const char *what, const std::string &error,
                                            const ProviderHead &head, const std::string &body) {
    if (error == providerStopped)
        return shuttingDownResponse();
    if (isProviderSilence(error)) {
        logLine(std::string(what) + ": " + error + "; gave up on it");
        return errorResponse(504, capitalised(error) + ".");
    }
    if (!error.empty()) {
        logLine(std::string(what) + ": the model provider could not be reached: " + error);
        return errorResponse(502, "The model provider could not be reached: " + error);
    }
    if (head.status != 200)
        return refusal(what, head, body);
    return std::nullopt;
}

std::string cutOffNotice(std::string_view reason) {
    return "\n\n[The answer was cut off: " + std::string(reason) + "]";
}

std::string providerReportedError(const std::string &shown) {
    return "the model provider reported an error" +
           (shown.empty() ? std::string(".") : ": " + shown);
}

} // namespace pindle
