#pragma once

#include "Store.h"

#include <memory>
#include <mutex>
#include <string>

struct sqlite3;

namespace pindle {

class SqliteStatementCache;

/// The embedded store: one SQLite file in write-ahead-log mode. The schema is created or brought
/// up to date when the file is opened. Calls from several threads take turns on one connection;
/// other processes may open the same file.
class SqliteStore final : public Store {
public:
    /// Opens (creating if needed) the database at `path`; throws StoreError on failure.
    explicit SqliteStore(const std::string &path);
    ~SqliteStore() override;

    /// pindle/pindle.db in the XDG data folder ($XDG_DATA_HOME, else ~/.local/share).
    [[nodiscard]] static std::string defaultPath();

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
    Released repairedOnOpen() const override { return m_repaired; }
    bool claimSoleServer() override;

private:
    // What one settlement changed.

    void migrate();
    // Gives back reservations whose settlement key an earlier one with the same id has taken.
    void releaseShadowed();
    // settle() inside a transaction the caller holds.
    Settled settleLocked(const Settlement &settlement);

    struct Closer {
        void operator()(sqlite3 *db) const;
    };
    std::string m_path;
    Released m_repaired;
    int m_serverLock = -1;
    std::unique_ptr<sqlite3, Closer> m_db;
    // Finalized before the connection closes.
    std::unique_ptr<SqliteStatementCache> m_statements;
    std::mutex m_mutex;
};

} // namespace pindle
