#pragma once

#include "Config.h"
#include "ModelProvider.h"
#include "api/HttpExchange.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pindle {

// What chat and transcription share about the model provider: how a call to it is addressed,
// how much of its reply is kept, and how its failures are told to the client.

/// The most of a reply that is held whole, and of a refusal kept to quote.
inline constexpr std::size_t maxProviderReply = 8 * 1024 * 1024;
inline constexpr std::size_t maxProviderError = 16 * 1024;

/// The longest provider message shown to a user, in characters.
inline constexpr std::size_t maxShownProviderMessage = 300;

/// A call to `path` under the configured API root, with the server's key. The key is remembered
/// so that providerFailure() never quotes it back.
[[nodiscard]] ProviderRequest providerCall(const Config &config, const std::string &path);
/// A provider's message fit to show a user: `key`, `sk-...` and `Bearer ...` tokens and long
/// random-looking tokens replaced, and cut to maxShownProviderMessage characters.
[[nodiscard]] std::string redactedProviderMessage(std::string_view message, std::string_view key);
/// The 503 for a server that has no provider configured.
[[nodiscard]] HttpResponse noProviderResponse();
/// The answer for a transfer that failed or was refused, if it did not succeed; `what` names
/// the feature in the log.
[[nodiscard]] std::optional<HttpResponse>
providerFailure(const char *what, const std::string &error, long status, const std::string &body);

} // namespace pindle
