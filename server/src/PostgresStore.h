#pragma once

#include "Store.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;

namespace pindle {

/// The shared store for deployments with several server instances: PostgreSQL through libpq.
/// Each call takes a connection from a small pool; every change is one transaction, so
/// instances may run side by side on one database. The schema is brought up to date on open,
/// under an advisory lock so two instances starting together do not race. A transaction that
/// changes reservations locks their accounts' rows first, in ascending order, so no two wait on
/// each other; renewals, which lock no account, pass over rows another holds. The sign-in and
/// sign-up limits live here too, so the instances count as one.
class PostgresStore final : public Store {
public:
    /// `connection` is a libpq connection string or URI. Throws StoreError when unreachable.
    explicit PostgresStore(const std::string &connection, int poolSize = 4);
    ~PostgresStore() override;

    std::optional<User> createUser(const NewUser &user) override;
    std::optional<User> findUserByEmail(const std::string &email) override;
    std::vector<User> listUsers() override;
    bool setTokenBalance(const std::string &email, std::int64_t balance) override;
    BalanceChange addTokens(const std::string &email, std::int64_t tokens) override;
    bool setPlan(const std::string &email, const std::string &status,
                 const std::optional<std::string> &end) override;
    bool setPasswordHash(std::int64_t userId, const std::string &passwordHash,
                         const TokenHash &keep) override;
    std::vector<DailyUsage> usageByDay(std::int64_t userId, std::int64_t since) override;
    void createSession(const TokenHash &hash, std::int64_t userId, std::int64_t expiresAt) override;
    std::optional<User> findSessionUser(const TokenHash &hash, std::int64_t now) override;
    void deleteSession(const TokenHash &hash) override;
    std::int64_t deleteExpiredSessions(std::int64_t now) override;
    std::optional<std::vector<SessionTimes>> listSessions(const std::string &email,
                                                          std::int64_t now) override;
    std::optional<std::int64_t> deleteSessions(const std::string &email) override;
    Deletion deleteUser(const std::string &email) override;
    HeldTokens reserve(std::int64_t userId, std::int64_t tokens, const std::string &model,
                       const std::string &owner, std::int64_t expiresAt) override;
    std::int64_t settle(const Settlement &settlement) override;
    void settleAll(const std::vector<Settlement> &settlements) override;
    void renewReservations(const std::vector<Progress> &open, std::int64_t expiresAt) override;
    Released releaseExpired(std::int64_t now) override;
    std::vector<AccountBooks> books() override;
    /// Shared by every server on this database.
    std::unique_ptr<AttemptLimits> attemptLimits() override;

private:
    class Lease;
    class Limits;
    // What one settlement changed.
    // settle() inside a transaction open on `db`; with `expiredBefore`, only a reservation
    // that expired before then.
    static Settled settleIn(pg_conn *db, const Settlement &settlement,
                            std::optional<std::int64_t> expiredBefore = std::nullopt);
    pg_conn *connect();
    void migrate();

    std::string m_connection;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<pg_conn *> m_idle;
    int m_capacity;
    int m_open = 0;
};

} // namespace pindle
