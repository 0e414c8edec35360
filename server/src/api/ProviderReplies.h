#pragma once

#include "Config.h"
#include "ModelProvider.h"
#include "api/HttpExchange.h"

#include <cstddef>
#include <optional>
#include <string>

namespace pindle {

// What chat and transcription share about the model provider: how a call to it is addressed,
// how much of its reply is kept, and how its failures are told to the client.

/// The most of a reply that is held whole, and of a refusal kept to quote.
inline constexpr std::size_t maxProviderReply = 8 * 1024 * 1024;
inline constexpr std::size_t maxProviderError = 16 * 1024;

/// A call to `path` under the configured API root, with the server's key.
[[nodiscard]] ProviderRequest providerCall(const Config &config, const std::string &path);
/// The 503 for a server that has no provider configured.
[[nodiscard]] HttpResponse noProviderResponse();
/// The answer for a transfer that failed or was refused, if it did not succeed; `what` names
/// the feature in the log.
[[nodiscard]] std::optional<HttpResponse>
providerFailure(const char *what, const std::string &error, long status, const std::string &body);

} // namespace pindle
