#include "api/JsonReplies.h"

#include <algorithm>

namespace pindle {

using nlohmann::json;

namespace {

// Requests are shallow; refusing deep nesting keeps recursive work on them bounded.
constexpr int maxJsonDepth = 16;

} // namespace

HttpResponse jsonResponse(int status, const json &body) {
    // Stored text is checked on the way in; should a bad byte still get through, it is shown as
    // U+FFFD rather than turn a sign-in that has already made its session into a 500.
    return {status, "application/json", body.dump(-1, ' ', false, json::error_handler_t::replace)};
}

HttpResponse errorResponse(int status, const std::string &message) {
    return jsonResponse(status, json{{"error", message}});
}

HttpResponse shuttingDownResponse() {
    return errorResponse(503, "The server is shutting down. Try again in a moment.");
}

json userJson(const User &user) {
    json result{{"id", std::to_string(user.id)},
                {"email", user.email},
                {"name", user.name},
                {"subscriptionStatus", user.subscriptionStatus},
                {"tokenBalance", std::max<std::int64_t>(user.tokenBalance, 0)}};
    if (user.subscriptionEnd)
        result["subscriptionEnd"] = *user.subscriptionEnd;
    return result;
}

std::optional<json> parseObject(const std::string &body) {
    json document;
    try {
        document = json::parse(body, [](int depth, json::parse_event_t, json &) {
            if (depth > maxJsonDepth)
                throw std::length_error("nested too deeply");
            return true;
        });
    } catch (const std::exception &) {
        return std::nullopt;
    }
    if (!document.is_object())
        return std::nullopt;
    return document;
}

std::optional<std::string> stringMember(const json &object, const char *key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return std::nullopt;
    return found->get<std::string>();
}

} // namespace pindle
