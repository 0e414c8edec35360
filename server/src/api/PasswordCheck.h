#pragma once

#include "Store.h"
#include "api/ApiContext.h"

#include <optional>
#include <string>

namespace pindle {

/// How checking a password for an account went.
struct PasswordCheck {
    enum class Outcome {
        Matches,
        /// A wrong password or an unknown address: told apart by nobody, the time taken included.
        Wrong,
        /// Too many wrong passwords lately; nothing was checked.
        TooManyFailures
    };
    Outcome outcome = Outcome::Wrong;
    /// The account, when the password matches.
    std::optional<User> user;
};

/// Checks `password` for the account with the e-mail address `email`, tried from
/// `clientAddress`, under the limits on wrong passwords, which it counts. Every sign-in and every
/// password confirmation goes through here, so guesses count the same wherever they are made.
/// Blocks for a password hash's time: runs on the hashing queue.
[[nodiscard]] PasswordCheck checkPassword(ApiContext &context, const std::string &email,
                                          const std::string &password,
                                          const std::string &clientAddress);

} // namespace pindle
