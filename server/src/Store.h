#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pindle {

/// A hash of a session token: the token itself is never stored.
using TokenHash = std::array<unsigned char, 32>;

struct User {
    std::int64_t id = 0;
    std::string email;
    std::string name;
    std::string passwordHash;
    std::string subscriptionStatus;
    std::optional<std::string> subscriptionEnd;
    std::int64_t tokenBalance = 0;
};

struct NewUser {
    std::string email;
    std::string name;
    std::string passwordHash;
    std::string subscriptionStatus = "free";
    std::optional<std::string> subscriptionEnd;
    std::int64_t tokenBalance = 0;
};

/// A storage failure (the database is unreachable, full, or corrupt). Requests that meet one are
/// answered with a server error; nothing is half written because every change is one transaction.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Accounts, sessions and balances. Every operation is one atomic step, so several server
/// processes may share one database. Calls block: the server makes them on its worker pool.
class Store {
public:
    virtual ~Store() = default;

    /// Creates the account, or returns nothing when the e-mail address (compared without regard
    /// to letter case) is already taken.
    virtual std::optional<User> createUser(const NewUser &user) = 0;
    [[nodiscard]] virtual std::optional<User> findUserByEmail(const std::string &email) = 0;
    [[nodiscard]] virtual std::vector<User> listUsers() = 0;
    /// Sets the balance of the account with this e-mail address; false when there is none.
    virtual bool setTokenBalance(const std::string &email, std::int64_t balance) = 0;

    /// Records a session that ends at `expiresAt` (seconds since the epoch).
    virtual void createSession(const TokenHash &hash, std::int64_t userId,
                               std::int64_t expiresAt) = 0;
    /// The user of a session that is still valid at `now`.
    [[nodiscard]] virtual std::optional<User> findSessionUser(const TokenHash &hash,
                                                              std::int64_t now) = 0;
    virtual void deleteSession(const TokenHash &hash) = 0;
    /// Removes sessions that ended before `now`; returns how many.
    virtual std::int64_t deleteExpiredSessions(std::int64_t now) = 0;

    /// Sets aside up to `tokens` of the balance for an answer under way, in one step, so
    /// answers running side by side cannot spend the same tokens. Returns how many were set
    /// aside: 0 when the balance is used up.
    virtual std::int64_t reserve(std::int64_t userId, std::int64_t tokens) = 0;
    /// Charges `tokens` of use and gives back the `reserved` tokens set aside for it, in one step
    /// (never below zero), and records the use. Returns the balance left.
    virtual std::int64_t debit(std::int64_t userId, std::int64_t tokens, const std::string &model,
                               std::int64_t reserved) = 0;
};

/// Lower-cases ASCII letters: e-mail addresses are unique regardless of letter case.
[[nodiscard]] std::string normalizedEmail(std::string_view email);

} // namespace pindle
