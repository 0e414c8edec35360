#pragma once

#include "AttemptLimits.h"

#include <array>
#include <cstdint>
#include <memory>
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

/// Tokens set aside for one answer under way; `id` names the reservation row, 0 when nothing was
/// held.
struct HeldTokens {
    std::int64_t id = 0;
    std::int64_t tokens = 0;
};

/// What one answer or transcript cost, to be charged once.
struct Settlement {
    /// Names the usage record. A charge without a reservation is applied once per key; one
    /// with a reservation once per reservation row, which its settlement closes.
    std::string key;
    std::int64_t userId = 0;
    /// The reservation it closes; 0 when nothing was set aside.
    std::int64_t reservationId = 0;
    std::int64_t used = 0;
    std::string model;
    /// The server process holding the reservation, as its row names it; empty in a settlement
    /// an older server journaled.
    std::string owner = {};
};

/// What applying one settlement changed.
struct Settled {
    /// Whether it closed a reservation row.
    bool closed = false;
    std::int64_t reserved = 0;
    std::int64_t charged = 0;
};

/// What closing reservations changed.
struct Released {
    std::int64_t reservations = 0;
    /// Tokens set aside that went back to the balances.
    std::int64_t returned = 0;
    std::int64_t charged = 0;

    /// Counts one settlement in, if it closed a reservation.
    void add(const Settled &settled) {
        if (!settled.closed)
            return;
        ++reservations;
        charged += settled.charged;
        returned += settled.reserved > settled.charged ? settled.reserved - settled.charged : 0;
    }
};

/// How an operator's change to a balance went.
enum class BalanceChange { Made, NoAccount, TooLarge };

/// The most tokens a balance may hold, so that no sum the books make comes near overflowing.
inline constexpr std::int64_t maxTokenBalance = 1'000'000'000'000'000;

/// How far an open reservation's answer has got.
struct Progress {
    std::int64_t reservationId = 0;
    std::int64_t streamed = 0;
};

/// One account's balance with everything charged to it and everything still set aside.
struct AccountBooks {
    std::int64_t userId = 0;
    std::int64_t balance = 0;
    std::int64_t charged = 0;
    std::int64_t reserved = 0;
    /// Reservations still open although they expired before the store was asked.
    std::int64_t overdue = 0;
};

/// A session as the operator sees it: when it started and when it ends, never its token.
struct SessionTimes {
    std::int64_t createdAt = 0;
    std::int64_t expiresAt = 0;
};

/// What deleting an account did.
struct Deletion {
    enum class Outcome {
        Deleted,
        NoAccount,
        /// Answers hold reservations on it: settled soon, or released when they expire.
        AnswersUnderWay
    };
    Outcome outcome = Outcome::NoAccount;
    std::int64_t sessions = 0;
    /// Usage records kept without the account.
    std::int64_t usageRecords = 0;
};

/// The tokens an account was charged on one day.
struct DailyUsage {
    /// "YYYY-MM-DD", in UTC.
    std::string day;
    std::int64_t tokens = 0;
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
    /// Makes `balance` what the account with this e-mail address may spend from now on: the
    /// answers it has under way give up what they hold and are charged out of it as they end.
    /// False when there is no such account.
    virtual bool setTokenBalance(const std::string &email, std::int64_t balance) = 0;
    /// Adds `tokens` (0 or more) to the balance; answers under way settle as usual.
    virtual BalanceChange addTokens(const std::string &email, std::int64_t tokens) = 0;
    /// Sets the account's subscription status and when it ends (none: it does not end). False
    /// when there is no such account.
    virtual bool setPlan(const std::string &email, const std::string &status,
                         const std::optional<std::string> &end) = 0;

    /// Stores a new password hash and ends every session of the account but `keep`, in one
    /// step. False when there is no such account.
    virtual bool setPasswordHash(std::int64_t userId, const std::string &passwordHash,
                                 const TokenHash &keep) = 0;
    /// What the account was charged on each day (UTC) with charges from `since` (seconds since
    /// the epoch) on, newest first.
    [[nodiscard]] virtual std::vector<DailyUsage> usageByDay(std::int64_t userId,
                                                             std::int64_t since) = 0;

    /// Records a session that ends at `expiresAt` (seconds since the epoch).
    virtual void createSession(const TokenHash &hash, std::int64_t userId,
                               std::int64_t expiresAt) = 0;
    /// The user of a session that is still valid at `now`.
    [[nodiscard]] virtual std::optional<User> findSessionUser(const TokenHash &hash,
                                                              std::int64_t now) = 0;
    virtual void deleteSession(const TokenHash &hash) = 0;
    /// Removes sessions that ended before `now`; returns how many.
    virtual std::int64_t deleteExpiredSessions(std::int64_t now) = 0;
    /// The sessions of the account with this e-mail address still valid at `now`, oldest
    /// first; nothing when there is no such account.
    [[nodiscard]] virtual std::optional<std::vector<SessionTimes>>
    listSessions(const std::string &email, std::int64_t now) = 0;
    /// Ends every session of the account; how many there were, or nothing when there is no
    /// such account.
    virtual std::optional<std::int64_t> deleteSessions(const std::string &email) = 0;
    /// Removes the account, its sessions and what it said about itself, and keeps its usage
    /// records without it, in one step. Refused while answers hold reservations on it, so
    /// every token they set aside is settled first; a charge that comes after the account is
    /// gone changes nothing. Account ids are never handed out again, so nothing meant for
    /// this one reaches another.
    virtual Deletion deleteUser(const std::string &email) = 0;

    /// Sets aside up to `tokens` of the balance for an answer under way and records the
    /// reservation, held by `owner` (a server process) until `expiresAt` unless renewed, in one
    /// step, so answers running side by side cannot spend the same tokens. Holds nothing (id 0)
    /// when the balance is used up.
    virtual HeldTokens reserve(std::int64_t userId, std::int64_t tokens, const std::string &model,
                               const std::string &owner, std::int64_t expiresAt) = 0;
    /// Charges what was used and closes the reservation it names, giving back the rest, in one
    /// step. The reservation's row decides, found by id, account and owner: once it is closed
    /// (settled, or released when it expired) the settlement changes nothing. One without a
    /// reservation, or without an owner, is applied once per key. Returns the tokens charged:
    /// never more than the balance and the reservation together.
    virtual std::int64_t settle(const Settlement &settlement) = 0;
    /// Applies these settlements as settle() does, all in one step.
    virtual void settleAll(const std::vector<Settlement> &settlements) = 0;
    /// Moves the expiry of open reservations and records how much of each has been streamed.
    virtual void renewReservations(const std::vector<Progress> &open, std::int64_t expiresAt) = 0;
    /// Closes every reservation that expired before `now`, charging what was recorded as
    /// streamed and giving back the rest.
    virtual Released releaseExpired(std::int64_t now) = 0;
    /// Takes the store for this process's server alone where only one server may use it (an
    /// SQLite file), and says so; false where servers share it. Throws StoreError when another
    /// server holds it.
    virtual bool claimSoleServer() { return false; }
    /// Each account's books, so an audit can check that every token is accounted for.
    [[nodiscard]] virtual std::vector<AccountBooks> books() = 0;
    /// The counts that slow down guessing and bulk sign-ups, for one server: shared with every
    /// server using this store where several may, else kept in that server's memory.
    [[nodiscard]] virtual std::unique_ptr<AttemptLimits> attemptLimits() {
        return memoryAttemptLimits();
    }
    /// Reservations that bringing the schema up to date gave back because they could never be
    /// settled: an earlier reservation with the same id had been charged under their key.
    [[nodiscard]] virtual Released repairedOnOpen() const { return {}; }
};

/// Seconds since the epoch: how the store writes times.
[[nodiscard]] std::int64_t nowSeconds();

/// The UTC date ("YYYY-MM-DD") of day `day` counted from 1970-01-01.
[[nodiscard]] std::string utcDate(std::int64_t day);

/// Lower-cases ASCII letters: e-mail addresses are unique regardless of letter case.
[[nodiscard]] std::string normalizedEmail(std::string_view email);

} // namespace pindle
