#pragma once

#include "Store.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace pindle {

/// Password hashing with Argon2id. Each hash takes about 64 MiB and a sixth of a second, so only a
/// few run at once; the rest wait their turn.
class PasswordHasher {
public:
    explicit PasswordHasher(int maxConcurrent = 2);

    /// The encoded Argon2id hash (algorithm, parameters and salt included). Throws on failure.
    [[nodiscard]] std::string hash(std::string_view password);
    /// True when `password` matches `encoded`; false for any malformed hash too.
    [[nodiscard]] bool verify(std::string_view password, const std::string &encoded);

private:
    class Slot;
    std::mutex m_mutex;
    std::condition_variable m_free;
    int m_available;
};

/// A new session token: 256 random bits, as 64 lower-case hexadecimal characters.
[[nodiscard]] std::string newSessionToken();
/// What the store keeps of a token: its BLAKE2b hash.
[[nodiscard]] TokenHash hashSessionToken(std::string_view token);

/// Why an e-mail address or password cannot be used for an account, if it cannot.
[[nodiscard]] std::optional<std::string> emailProblem(const std::string &email);
[[nodiscard]] std::optional<std::string> passwordProblem(const std::string &password);

/// Makes the crypto library ready; call once before any other function here.
void initialiseCrypto();

} // namespace pindle
