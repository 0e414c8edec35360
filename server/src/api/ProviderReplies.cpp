#include "api/ProviderReplies.h"

#include "Log.h"
#include "api/JsonReplies.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
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

// The body as one log line: the keys out, line breaks flattened.
std::string forLog(const std::string &body) {
    std::string line = withoutKeys(body);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return line;
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

std::string providerErrorText(const char *what, long status, const std::string &body) {
    if (status == 401 || status == 403) {
        logLine(std::string(what) + ": the model provider refused the server's credentials (HTTP " +
                std::to_string(status) + "): " + forLog(body));
        return "The model provider refused this server's credentials. Tell the server's "
               "operator.";
    }
    logLine(std::string(what) + ": the model provider refused the request (HTTP " +
            std::to_string(status) + "): " + forLog(body));
    std::string detail;
    if (const auto object = parseObject(body)) {
        const auto error = object->find("error");
        if (error != object->end() && error->is_object())
            detail = stringMember(*error, "message").value_or("");
        else if (error != object->end() && error->is_string())
            detail = error->get<std::string>();
    }
    std::string text =
        "The model provider refused the request (HTTP " + std::to_string(status) + ")";
    return detail.empty() ? text + "."
                          : text + ": " + redactedProviderMessage(withoutKeys(detail), {});
}

} // namespace

ProviderRequest providerCall(const Config &config, const std::string &path) {
    ProviderRequest request;
    request.url = config.providerUrl + path;
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

std::optional<HttpResponse> providerFailure(const char *what, const std::string &error, long status,
                                            const std::string &body) {
    if (error == providerStopped)
        return shuttingDownResponse();
    if (!error.empty()) {
        logLine(std::string(what) + ": the model provider could not be reached: " + error);
        return errorResponse(502, "The model provider could not be reached: " + error);
    }
    if (status != 200)
        return errorResponse(502, providerErrorText(what, status, body));
    return std::nullopt;
}

} // namespace pindle
