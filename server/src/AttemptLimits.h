#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pindle {

/// The counts that slow down password guessing and bulk sign-ups, and the addresses each account
/// has signed in from. A count covers a fixed window that starts with its first attempt. Where
/// several servers share a database the counts live there, so the servers count as one; a server
/// of its own keeps them in memory. Calls may block on the database (make them on the workers)
/// and throw StoreError. Times are seconds since the epoch.
class AttemptLimits {
public:
    struct Limit {
        /// Names the count where the database keeps it; never given to another count.
        int kind;
        int most;
        std::chrono::seconds window;
    };
    // Wrong passwords: per account from one address, per account from anywhere, per address.
    // The account-wide count does not hold back an address the account signed in from before,
    // so nobody can lock the owner out by guessing from elsewhere.
    static constexpr Limit failuresByAccountAndAddress{1, 5, std::chrono::minutes(15)};
    static constexpr Limit failuresByAccount{2, 50, std::chrono::minutes(15)};
    static constexpr Limit failuresByAddress{3, 20, std::chrono::minutes(15)};
    static constexpr Limit signupsByAddress{4, 5, std::chrono::hours(1)};
    /// How long an address an account signed in from is remembered, and how many are.
    static constexpr std::chrono::seconds addressMemory = std::chrono::hours(24 * 90);
    static constexpr std::size_t addressesPerAccount = 16;

    virtual ~AttemptLimits() = default;

    /// Whether `key` has used up `limit` in its current window.
    [[nodiscard]] virtual bool blocked(const Limit &limit, const std::string &key,
                                       std::int64_t now) = 0;
    /// Counts one attempt, in one step however many servers count at once; true when it was
    /// within the limit.
    virtual bool record(const Limit &limit, const std::string &key, std::int64_t now) = 0;
    virtual void clear(const Limit &limit, const std::string &key) = 0;
    /// Whether `account` signed in from `address` within addressMemory.
    [[nodiscard]] virtual bool knows(const std::string &account, const std::string &address,
                                     std::int64_t now) = 0;
    /// Notes a sign-in; the oldest address goes past addressesPerAccount.
    virtual void remember(const std::string &account, const std::string &address,
                          std::int64_t now) = 0;
    /// Drops counts and addresses that no longer matter at `now`; returns how many.
    virtual std::int64_t prune(std::int64_t now) = 0;
};

/// The limits of a server on its own, in memory: they end with the process.
[[nodiscard]] std::unique_ptr<AttemptLimits> memoryAttemptLimits();

} // namespace pindle
