#pragma once

#include "Store.h"
#include "api/HttpExchange.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace pindle {

/// The JSON shapes every handler shares: answers, errors, the user record, and a guarded parse
/// of request and provider bodies.
[[nodiscard]] HttpResponse jsonResponse(int status, const nlohmann::json &body);
/// `{"error": message}`, the one shape of every refusal the client shows.
[[nodiscard]] HttpResponse errorResponse(int status, const std::string &message);
/// 503 for a request that came too late: the server is stopping.
[[nodiscard]] HttpResponse shuttingDownResponse();
[[nodiscard]] nlohmann::json userJson(const User &user);
/// The body as a JSON object, or nothing when it is not one or is nested too deeply.
[[nodiscard]] std::optional<nlohmann::json> parseObject(const std::string &body);
[[nodiscard]] std::optional<std::string> stringMember(const nlohmann::json &object,
                                                      const char *key);

} // namespace pindle
