#pragma once

#include "Config.h"
#include "ModelProvider.h"
#include "api/HttpExchange.h"

#include <cstddef>
#include <cstdint>
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
/// What a provider says of an error, in a refusal's body or in an event of a stream. Its message
/// often quotes the user's own text: it is shown to the user (redacted), never logged.
struct ProviderError {
    std::string message;
    /// The error's type, code and param, each only when short, printable and free of anything
    /// key-like: fit for the log.
    std::string type;
    std::string code;
    std::string param;
    /// Whether the provider's words had the shape of an error at all (JSON, or a text message).
    bool understood = false;
    std::size_t bodySize = 0;

    /// The message fit to show a user: redactedProviderMessage(), the server's keys out.
    [[nodiscard]] std::string shown() const;
    /// What the log says of it: type, code, param and the message's length, never the message.
    [[nodiscard]] std::string forLog() const;
};
/// Reads an error from a refusal's body or a streamed event's payload: a JSON object whose
/// "error" is an object (with "message", "type", "code", "param") or a string, an object that is
/// itself the error (has "message"), a JSON string; or, when `textIsMessage`, any other text.
[[nodiscard]] ProviderError readProviderError(std::string_view body, bool textIsMessage = false);

/// Seconds to wait, from a Retry-After value: delta-seconds, or an HTTP-date counted from `now`
/// (at least 1 when it has passed); none when absent or unreadable.
[[nodiscard]] std::optional<std::int64_t> retryAfterSeconds(std::string_view value,
                                                            std::int64_t now);

// What the client is told of the provider beyond its refusals (see providerFailure()).

/// A whole reply larger than maxProviderReply.
inline constexpr std::string_view providerReplyTooLarge =
    "The model provider's reply was too large.";
/// A whole chat reply that is not a JSON object.
inline constexpr std::string_view providerReplyNotObject =
    "The model provider's reply was not a JSON object.";
/// A transcription reply without a transcript.
inline constexpr std::string_view providerTranscriptMissing =
    "The model provider's transcription had no text.";
/// Why a streamed answer ended early, as its last words: "[The answer was cut off: REASON]".
/// `reason` starts in lower case and ends with a full stop.
[[nodiscard]] std::string cutOffNotice(std::string_view reason);
/// The reason for a stream whose provider stopped sending without saying why.
inline constexpr std::string_view providerStoppedResponding =
    "the model provider stopped responding.";
/// The reason for a stream in which the provider reported an error; `shown` is its redacted
/// message, or empty.
[[nodiscard]] std::string providerReportedError(const std::string &shown);

/// The answer for a transfer that failed or was refused, if it did not succeed; `what` names
/// the feature in the log. A 429 goes back as a 429 with the provider's Retry-After (in
/// seconds), a 400 as a 400 quoting the provider, a provider silent for its limit as a 504;
/// anything else as a 502 (a 503 while the server shuts down).
[[nodiscard]] std::optional<HttpResponse> providerFailure(const char *what,
                                                          const std::string &error,
                                                          const ProviderHead &head,
                                                          const std::string &body);

} // namespace pindle
