#include "SqliteStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>
#include <unordered_map>

namespace pindle {

namespace {

// Schema versions, applied in order; PRAGMA user_version records how many have run.
constexpr std::string_view migrations[] = {
    R"sql(
CREATE TABLE users (
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL,
    email_key TEXT NOT NULL UNIQUE,
    name TEXT NOT NULL,
    password_hash TEXT NOT NULL,
    subscription_status TEXT NOT NULL,
    subscription_end TEXT,
    token_balance INTEGER NOT NULL,
    created_at INTEGER NOT NULL
);
CREATE TABLE sessions (
    token_hash BLOB PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    created_at INTEGER NOT NULL,
    expires_at INTEGER NOT NULL
);
CREATE INDEX sessions_by_expiry ON sessions(expires_at);
CREATE TABLE usage_events (
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    model TEXT NOT NULL,
    tokens INTEGER NOT NULL,
    created_at INTEGER NOT NULL
);
)sql",
    // Reservations are rows, so an answer cut off by a crash leaves a record to settle.
    R"sql(
CREATE TABLE reservations (
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    owner TEXT NOT NULL,
    model TEXT NOT NULL,
    tokens INTEGER NOT NULL,
    streamed INTEGER NOT NULL DEFAULT 0,
    created_at INTEGER NOT NULL,
    expires_at INTEGER NOT NULL
);
CREATE INDEX reservations_by_expiry ON reservations(expires_at);
ALTER TABLE usage_events ADD COLUMN settlement TEXT;
CREATE UNIQUE INDEX usage_events_by_settlement ON usage_events(settlement);
)sql",
    // Reservation ids are never handed out again (AUTOINCREMENT): a usage record names its
    // reservation as "r<id>", so an id used twice made a new answer's charge look applied. The
    // sequence starts past every id ever used, those only a usage record remembers included.
    R"sql(
CREATE TABLE reservations_once (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    owner TEXT NOT NULL,
    model TEXT NOT NULL,
    tokens INTEGER NOT NULL,
    streamed INTEGER NOT NULL DEFAULT 0,
    created_at INTEGER NOT NULL,
    expires_at INTEGER NOT NULL
);
INSERT INTO reservations_once (id, user_id, owner, model, tokens, streamed, created_at, expires_at)
    SELECT id, user_id, owner, model, tokens, streamed, created_at, expires_at FROM reservations;
DROP TABLE reservations;
ALTER TABLE reservations_once RENAME TO reservations;
CREATE INDEX reservations_by_expiry ON reservations(expires_at);
INSERT INTO sqlite_sequence (name, seq) SELECT 'reservations', 0
    WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'reservations');
UPDATE sqlite_sequence SET seq = MAX(seq, (
    SELECT COALESCE(MAX(CAST(substr(settlement, 2) AS INTEGER)), 0) FROM usage_events
    WHERE settlement GLOB 'r[0-9]*' AND substr(settlement, 2) NOT GLOB '*[^0-9]*'))
    WHERE name = 'reservations';
)sql",
    // A deleted account's usage records stay, without it; its id is never handed out again, so
    // nothing still on its way to it (a journaled charge) reaches a newer account.
    R"sql(
CREATE TABLE usage_events_kept (
    id INTEGER PRIMARY KEY,
    user_id INTEGER REFERENCES users(id) ON DELETE SET NULL,
    model TEXT NOT NULL,
    tokens INTEGER NOT NULL,
    created_at INTEGER NOT NULL,
    settlement TEXT
);
INSERT INTO usage_events_kept (id, user_id, model, tokens, created_at, settlement)
    SELECT id, user_id, model, tokens, created_at, settlement FROM usage_events;
DROP TABLE usage_events;
ALTER TABLE usage_events_kept RENAME TO usage_events;
CREATE UNIQUE INDEX usage_events_by_settlement ON usage_events(settlement);
CREATE TABLE account_ids (highest INTEGER NOT NULL);
INSERT INTO account_ids (highest) SELECT COALESCE(MAX(id), 0) FROM users;
)sql",
    // The account page sums an account's usage by day.
    R"sql(
CREATE INDEX usage_events_by_user ON usage_events(user_id, created_at);
)sql",
};
// The migration above; databases it finds may hold reservations no settlement can close.
constexpr std::int64_t idsNeverReused = 2;

constexpr auto userColumns = "id, email, name, password_hash, subscription_status, "
                             "subscription_end, token_balance";

} // namespace

// The statements each chat runs (finding the session, reserving, settling, and the transaction
// around them), prepared on their first use and kept: SQLite would otherwise parse and plan the
// same text again on every call. Used only under the store's lock.
class SqliteStatementCache {
public:
    explicit SqliteStatementCache(sqlite3 *db)
        : m_db(db) {}
    SqliteStatementCache(const SqliteStatementCache &) = delete;
    SqliteStatementCache &operator=(const SqliteStatementCache &) = delete;
    ~SqliteStatementCache() {
        for (auto &[sql, entry] : m_entries)
            sqlite3_finalize(entry.statement);
    }

    struct Entry {
        sqlite3_stmt *statement = nullptr;
        bool inUse = false;
    };

    [[nodiscard]] sqlite3 *db() const { return m_db; }
    /// The kept statement for `sql`, prepared now if it is new; nullptr when it is in use
    /// already (or cannot be prepared, which the caller then reports).
    [[nodiscard]] Entry *take(std::string_view sql) {
        auto found = m_entries.find(sql);
        if (found == m_entries.end()) {
            sqlite3_stmt *statement = nullptr;
            if (sqlite3_prepare_v3(m_db, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                   &statement, nullptr) != SQLITE_OK)
                return nullptr;
            found = m_entries.emplace(std::string(sql), Entry{statement}).first;
        }
        if (found->second.inUse)
            return nullptr;
        found->second.inUse = true;
        return &found->second;
    }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view sql) const {
            return std::hash<std::string_view>{}(sql);
        }
    };
    sqlite3 *m_db;
    std::unordered_map<std::string, Entry, Hash, std::equal_to<>> m_entries;
};

namespace {

// One prepared statement: its own, finalized at the end, or one of the cache's, reset and given
// back to it.
class Statement {
public:
    Statement(sqlite3 *db, std::string_view sql)
        : m_db(db) {
        if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &m_statement, nullptr) != SQLITE_OK)
            fail();
    }
    Statement(SqliteStatementCache &cache, std::string_view sql)
        : m_db(cache.db())
        , m_kept(cache.take(sql)) {
        if (m_kept)
            m_statement = m_kept->statement;
        else if (sqlite3_prepare_v2(m_db, sql.data(), int(sql.size()), &m_statement, nullptr) !=
                 SQLITE_OK)
            fail();
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement() {
        if (m_kept) {
            reset();
            m_kept->inUse = false;
        } else {
            sqlite3_finalize(m_statement);
        }
    }

    Statement &bind(int index, std::string_view text) {
        check(
            sqlite3_bind_text(m_statement, index, text.data(), int(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement &bind(int index, std::int64_t value) {
        check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    Statement &bind(int index, const std::optional<std::string> &text) {
        if (text)
            return bind(index, std::string_view(*text));
        check(sqlite3_bind_null(m_statement, index));
        return *this;
    }
    Statement &bind(int index, const TokenHash &hash) {
        check(
            sqlite3_bind_blob(m_statement, index, hash.data(), int(hash.size()), SQLITE_TRANSIENT));
        return *this;
    }

    /// Makes the statement ready to be bound and run again.
    void reset() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

    /// True while a row is available.
    bool step() {
        const int result = sqlite3_step(m_statement);
        if (result == SQLITE_ROW)
            return true;
        if (result == SQLITE_DONE)
            return false;
        fail();
    }

    [[nodiscard]] std::int64_t integer(int column) const {
        return sqlite3_column_int64(m_statement, column);
    }
    [[nodiscard]] std::optional<std::string> text(int column) const {
        const auto *value = sqlite3_column_text(m_statement, column);
        if (!value)
            return std::nullopt;
        return std::string(reinterpret_cast<const char *>(value),
                           size_t(sqlite3_column_bytes(m_statement, column)));
    }

    [[nodiscard]] User user() const {
        return User{integer(0),
                    text(1).value_or(""),
                    text(2).value_or(""),
                    text(3).value_or(""),
                    text(4).value_or(""),
                    text(5),
                    integer(6)};
    }

private:
    void check(int result) {
        if (result != SQLITE_OK)
            fail();
    }
    [[noreturn]] void fail() { throw StoreError(std::string("SQLite: ") + sqlite3_errmsg(m_db)); }

    sqlite3 *m_db;
    SqliteStatementCache::Entry *m_kept = nullptr;
    sqlite3_stmt *m_statement = nullptr;
};

void execute(sqlite3 *db, const char *sql) {
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = std::string("SQLite: ") + (error ? error : "unknown error");
        sqlite3_free(error);
        throw StoreError(message);
    }
}

// Runs `work` inside one write transaction, rolling back if it throws.
template <typename Work> auto inTransaction(SqliteStatementCache &cache, Work &&work) {
    Statement(cache, "BEGIN IMMEDIATE").step();
    try {
        auto result = work();
        Statement(cache, "COMMIT").step();
        return result;
    } catch (...) {
        sqlite3_exec(cache.db(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

} // namespace

void SqliteStore::Closer::operator()(sqlite3 *db) const {
    sqlite3_close_v2(db);
}

SqliteStore::SqliteStore(const std::string &path)
    : m_path(path) {
    const std::filesystem::path file(path);
    if (file.has_parent_path() && !std::filesystem::exists(file.parent_path())) {
        std::error_code ignored;
        std::filesystem::create_directories(file.parent_path(), ignored);
        std::filesystem::permissions(file.parent_path(), std::filesystem::perms::owner_all,
                                     ignored);
    }
    // Password and session hashes are for this account's eyes only; SQLite gives its journal
    // files the database file's permissions.
    if (const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600); fd >= 0)
        ::close(fd);
    sqlite3 *db = nullptr;
    const int opened = sqlite3_open_v2(
        path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    m_db.reset(db);
    if (opened != SQLITE_OK)
        throw StoreError("cannot open the database " + path + ": " +
                         (db ? sqlite3_errmsg(db) : "out of memory"));
    m_statements = std::make_unique<SqliteStatementCache>(db);
    sqlite3_busy_timeout(db, 5000);
    execute(db, "PRAGMA journal_mode = WAL");
    execute(db, "PRAGMA synchronous = NORMAL");
    execute(db, "PRAGMA foreign_keys = ON");
    migrate();
}

SqliteStore::~SqliteStore() {
    if (m_serverLock >= 0)
        ::close(m_serverLock);
}

bool SqliteStore::claimSoleServer() {
    if (m_serverLock >= 0)
        return true;
    // Held as long as this process runs; the kernel lets go of it however the process ends.
    const std::string lockPath = m_path + ".server-lock";
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw StoreError("cannot open " + lockPath + ": " + std::strerror(errno));
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw StoreError("another pindle-server is already serving " + m_path);
    }
    m_serverLock = fd;
    return true;
}

std::string SqliteStore::defaultPath() {
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome)
        return std::string(dataHome) + "/pindle/pindle.db";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.local/share/pindle/pindle.db";
}

void SqliteStore::migrate() {
    sqlite3 *db = m_db.get();
    inTransaction(*m_statements, [&] {
        const std::int64_t applied = [db] {
            Statement version(db, "PRAGMA user_version");
            version.step();
            return version.integer(0);
        }(); // and done with, before a migration drops a table
        const auto known = std::int64_t(std::size(migrations));
        if (applied > known)
            throw StoreError("the database was made by a newer pindle-server (schema " +
                             std::to_string(applied) + ")");
        for (std::int64_t next = applied; next < known; ++next) {
            if (next == idsNeverReused)
                releaseShadowed();
            execute(db, std::string(migrations[next]).c_str());
        }
        execute(db, ("PRAGMA user_version = " + std::to_string(known)).c_str());
        return 0;
    });
}

void SqliteStore::releaseShadowed() {
    // A reservation whose id an earlier, settled one had: the key its settlement would record
    // is taken, so it was skipped as applied and its tokens stayed set aside for good. What its
    // answer used is unknown; all of it goes back.
    sqlite3 *db = m_db.get();
    struct Shadowed {
        std::int64_t id, userId, tokens;
    };
    std::vector<Shadowed> shadowed;
    Statement select(db, "SELECT id, user_id, tokens FROM reservations r WHERE EXISTS "
                         "(SELECT 1 FROM usage_events WHERE settlement = 'r' || r.id)");
    while (select.step())
        shadowed.push_back({select.integer(0), select.integer(1), select.integer(2)});
    Statement give(db, "UPDATE users SET token_balance = token_balance + ? WHERE id = ?");
    Statement remove(db, "DELETE FROM reservations WHERE id = ?");
    for (const Shadowed &row : shadowed) {
        give.bind(1, row.tokens).bind(2, row.userId);
        give.step();
        give.reset();
        remove.bind(1, row.id);
        remove.step();
        remove.reset();
        ++m_repaired.reservations;
        m_repaired.returned += row.tokens;
    }
}

std::optional<User> SqliteStore::createUser(const NewUser &user) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    return inTransaction(*m_statements, [&]() -> std::optional<User> {
        // Past every id ever used, a deleted account's included.
        Statement insert(
            db, std::string("INSERT INTO users (id, email, email_key, name, password_hash, "
                            "subscription_status, subscription_end, token_balance, created_at) "
                            "VALUES (MAX((SELECT COALESCE(MAX(id), 0) FROM users), "
                            "(SELECT highest FROM account_ids)) + 1, ?, ?, ?, ?, ?, ?, ?, ?) "
                            "ON CONFLICT (email_key) DO NOTHING RETURNING ") +
                    userColumns);
        insert.bind(1, std::string_view(user.email))
            .bind(2, std::string_view(normalizedEmail(user.email)))
            .bind(3, std::string_view(user.name))
            .bind(4, std::string_view(user.passwordHash))
            .bind(5, std::string_view(user.subscriptionStatus))
            .bind(6, user.subscriptionEnd)
            .bind(7, user.tokenBalance)
            .bind(8, nowSeconds());
        if (!insert.step())
            return std::nullopt;
        User created = insert.user();
        while (insert.step()) {
        }
        return created;
    });
}

std::optional<User> SqliteStore::findUserByEmail(const std::string &email) {
    std::lock_guard lock(m_mutex);
    Statement select(m_db.get(),
                     std::string("SELECT ") + userColumns + " FROM users WHERE email_key = ?");
    select.bind(1, std::string_view(normalizedEmail(email)));
    if (!select.step())
        return std::nullopt;
    return select.user();
}

std::vector<User> SqliteStore::listUsers() {
    std::lock_guard lock(m_mutex);
    Statement select(m_db.get(), std::string("SELECT ") + userColumns + " FROM users ORDER BY id");
    std::vector<User> users;
    while (select.step())
        users.push_back(select.user());
    return users;
}

bool SqliteStore::setTokenBalance(const std::string &email, std::int64_t balance) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    return inTransaction(*m_statements, [&] {
        Statement select(db, "SELECT id FROM users WHERE email_key = ?");
        select.bind(1, std::string_view(normalizedEmail(email)));
        if (!select.step())
            return false;
        const std::int64_t userId = select.integer(0);
        // What answers under way hold would otherwise come back on top of the new balance.
        Statement forgo(db, "UPDATE reservations SET tokens = 0 WHERE user_id = ?");
        forgo.bind(1, userId);
        forgo.step();
        Statement update(db, "UPDATE users SET token_balance = ? WHERE id = ?");
        update.bind(1, balance).bind(2, userId);
        update.step();
        return true;
    });
}

BalanceChange SqliteStore::addTokens(const std::string &email, std::int64_t tokens) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    const std::string key = normalizedEmail(email);
    Statement update(db, "UPDATE users SET token_balance = token_balance + ?1 "
                         "WHERE email_key = ?2 AND token_balance <= ?3 - ?1");
    update.bind(1, tokens).bind(2, std::string_view(key)).bind(3, maxTokenBalance);
    update.step();
    if (sqlite3_changes(db) > 0)
        return BalanceChange::Made;
    Statement select(db, "SELECT 1 FROM users WHERE email_key = ?");
    select.bind(1, std::string_view(key));
    return select.step() ? BalanceChange::TooLarge : BalanceChange::NoAccount;
}

bool SqliteStore::setPlan(const std::string &email, const std::string &status,
                          const std::optional<std::string> &end) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    Statement update(db, "UPDATE users SET subscription_status = ?, subscription_end = ? "
                         "WHERE email_key = ?");
    update.bind(1, std::string_view(status))
        .bind(2, end)
        .bind(3, std::string_view(normalizedEmail(email)));
    update.step();
    return sqlite3_changes(db) > 0;
}

bool SqliteStore::setPasswordHash(std::int64_t userId, const std::string &passwordHash,
                                  const TokenHash &keep) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    return inTransaction(*m_statements, [&] {
        Statement update(db, "UPDATE users SET password_hash = ? WHERE id = ?");
        update.bind(1, std::string_view(passwordHash)).bind(2, userId);
        update.step();
        if (sqlite3_changes(db) == 0)
            return false;
        Statement end(db, "DELETE FROM sessions WHERE user_id = ? AND token_hash <> ?");
        end.bind(1, userId).bind(2, keep);
        end.step();
        return true;
    });
}

std::vector<DailyUsage> SqliteStore::usageByDay(std::int64_t userId, std::int64_t since) {
    std::lock_guard lock(m_mutex);
    Statement select(m_db.get(), "SELECT created_at / 86400 AS day, SUM(tokens) FROM usage_events "
                                 "WHERE user_id = ? AND created_at >= ? "
                                 "GROUP BY day ORDER BY day DESC");
    select.bind(1, userId).bind(2, since);
    std::vector<DailyUsage> days;
    while (select.step())
        days.push_back({utcDate(select.integer(0)), select.integer(1)});
    return days;
}

void SqliteStore::createSession(const TokenHash &hash, std::int64_t userId,
                                std::int64_t expiresAt) {
    std::lock_guard lock(m_mutex);
    Statement insert(m_db.get(), "INSERT INTO sessions (token_hash, user_id, created_at, "
                                 "expires_at) VALUES (?, ?, ?, ?)");
    insert.bind(1, hash).bind(2, userId).bind(3, nowSeconds()).bind(4, expiresAt);
    insert.step();
}

std::optional<User> SqliteStore::findSessionUser(const TokenHash &hash, std::int64_t now) {
    std::lock_guard lock(m_mutex);
    Statement select(*m_statements, "SELECT u.id, u.email, u.name, u.password_hash, "
                                    "u.subscription_status, u.subscription_end, u.token_balance "
                                    "FROM sessions s JOIN users u ON u.id = s.user_id "
                                    "WHERE s.token_hash = ? AND s.expires_at > ?");
    select.bind(1, hash).bind(2, now);
    if (!select.step())
        return std::nullopt;
    return select.user();
}

void SqliteStore::deleteSession(const TokenHash &hash) {
    std::lock_guard lock(m_mutex);
    Statement remove(m_db.get(), "DELETE FROM sessions WHERE token_hash = ?");
    remove.bind(1, hash);
    remove.step();
}

std::int64_t SqliteStore::deleteExpiredSessions(std::int64_t now) {
    std::lock_guard lock(m_mutex);
    Statement remove(m_db.get(), "DELETE FROM sessions WHERE expires_at <= ?");
    remove.bind(1, now);
    remove.step();
    return sqlite3_changes64(m_db.get());
}

std::optional<std::vector<SessionTimes>> SqliteStore::listSessions(const std::string &email,
                                                                   std::int64_t now) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    Statement account(db, "SELECT id FROM users WHERE email_key = ?");
    account.bind(1, std::string_view(normalizedEmail(email)));
    if (!account.step())
        return std::nullopt;
    Statement select(db, "SELECT created_at, expires_at FROM sessions WHERE user_id = ? "
                         "AND expires_at > ? ORDER BY created_at, expires_at");
    select.bind(1, account.integer(0)).bind(2, now);
    std::vector<SessionTimes> sessions;
    while (select.step())
        sessions.push_back({select.integer(0), select.integer(1)});
    return sessions;
}

std::optional<std::int64_t> SqliteStore::deleteSessions(const std::string &email) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    return inTransaction(*m_statements, [&]() -> std::optional<std::int64_t> {
        Statement account(db, "SELECT id FROM users WHERE email_key = ?");
        account.bind(1, std::string_view(normalizedEmail(email)));
        if (!account.step())
            return std::nullopt;
        const std::int64_t userId = account.integer(0);
        account.reset();
        Statement remove(db, "DELETE FROM sessions WHERE user_id = ?");
        remove.bind(1, userId);
        remove.step();
        return sqlite3_changes64(db);
    });
}

Deletion SqliteStore::deleteUser(const std::string &email) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    return inTransaction(*m_statements, [&] {
        Statement account(db, "SELECT id, (SELECT COUNT(*) FROM reservations WHERE user_id = "
                              "users.id) FROM users WHERE email_key = ?");
        account.bind(1, std::string_view(normalizedEmail(email)));
        if (!account.step())
            return Deletion{};
        const std::int64_t userId = account.integer(0);
        const bool answering = account.integer(1) > 0;
        account.reset();
        if (answering)
            return Deletion{Deletion::Outcome::AnswersUnderWay};
        Deletion deletion{Deletion::Outcome::Deleted};
        const auto run = [&](const char *sql) {
            Statement statement(db, sql);
            statement.bind(1, userId);
            statement.step();
            return sqlite3_changes64(db);
        };
        deletion.sessions = run("DELETE FROM sessions WHERE user_id = ?");
        deletion.usageRecords = run("UPDATE usage_events SET user_id = NULL WHERE user_id = ?");
        run("UPDATE account_ids SET highest = MAX(highest, ?)");
        run("DELETE FROM users WHERE id = ?");
        return deletion;
    });
}

HeldTokens SqliteStore::reserve(std::int64_t userId, std::int64_t tokens, const std::string &model,
                                const std::string &owner, std::int64_t expiresAt) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    return inTransaction(*m_statements, [&] {
        Statement select(*m_statements, "SELECT token_balance FROM users WHERE id = ?");
        select.bind(1, userId);
        if (!select.step())
            throw StoreError("no account with id " + std::to_string(userId));
        const std::int64_t held = std::clamp<std::int64_t>(select.integer(0), 0, tokens);
        if (held == 0)
            return HeldTokens{};
        Statement update(*m_statements,
                         "UPDATE users SET token_balance = token_balance - ? WHERE id = ?");
        update.bind(1, held).bind(2, userId);
        update.step();
        Statement insert(*m_statements,
                         "INSERT INTO reservations (user_id, owner, model, tokens, created_at, "
                         "expires_at) VALUES (?, ?, ?, ?, ?, ?)");
        insert.bind(1, userId)
            .bind(2, std::string_view(owner))
            .bind(3, std::string_view(model))
            .bind(4, held)
            .bind(5, nowSeconds())
            .bind(6, expiresAt);
        insert.step();
        return HeldTokens{sqlite3_last_insert_rowid(db), held};
    });
}

Settled SqliteStore::settleLocked(const Settlement &settlement) {
    // A charge without a reservation is applied once per key. So is a settlement an older
    // server journaled: it names no owner, so it cannot tell its reservation from a later one
    // given the same id, and its key was how that server knew it applied.
    if (settlement.reservationId == 0 || settlement.owner.empty()) {
        Statement applied(*m_statements, "SELECT 1 FROM usage_events WHERE settlement = ?");
        applied.bind(1, std::string_view(settlement.key));
        if (applied.step())
            return {};
    }
    Settled outcome;
    if (settlement.reservationId != 0) {
        Statement close(*m_statements,
                        settlement.owner.empty()
                            ? "DELETE FROM reservations WHERE id = ? AND user_id = ? "
                              "RETURNING tokens"
                            : "DELETE FROM reservations WHERE id = ? AND user_id = ? "
                              "AND owner = ? RETURNING tokens");
        close.bind(1, settlement.reservationId).bind(2, settlement.userId);
        if (!settlement.owner.empty())
            close.bind(3, std::string_view(settlement.owner));
        if (!close.step())
            return {}; // closed already: settled, or released when it expired
        outcome = {true, close.integer(0), 0};
        while (close.step()) {
        }
    }
    Statement balance(*m_statements, "SELECT token_balance FROM users WHERE id = ?");
    balance.bind(1, settlement.userId);
    if (!balance.step())
        return outcome; // the account is gone, and its reservations with it
    outcome.charged = std::clamp<std::int64_t>(
        settlement.used, 0, std::max<std::int64_t>(balance.integer(0) + outcome.reserved, 0));
    Statement update(*m_statements,
                     "UPDATE users SET token_balance = token_balance + ? - ? WHERE id = ?");
    update.bind(1, outcome.reserved).bind(2, outcome.charged).bind(3, settlement.userId);
    update.step();
    if (outcome.charged > 0) {
        Statement record(*m_statements,
                         "INSERT INTO usage_events (user_id, model, tokens, created_at, "
                         "settlement) VALUES (?, ?, ?, ?, ?)");
        record.bind(1, settlement.userId)
            .bind(2, std::string_view(settlement.model))
            .bind(3, outcome.charged)
            .bind(4, nowSeconds())
            .bind(5, std::string_view(settlement.key));
        record.step();
    }
    return outcome;
}

std::int64_t SqliteStore::settle(const Settlement &settlement) {
    std::lock_guard lock(m_mutex);
    return inTransaction(*m_statements, [&] { return settleLocked(settlement).charged; });
}

void SqliteStore::settleAll(const std::vector<Settlement> &settlements) {
    std::lock_guard lock(m_mutex);
    inTransaction(*m_statements, [&] {
        for (const Settlement &settlement : settlements)
            settleLocked(settlement);
        return 0;
    });
}

void SqliteStore::renewReservations(const std::vector<Progress> &open, std::int64_t expiresAt) {
    std::lock_guard lock(m_mutex);
    inTransaction(*m_statements, [&] {
        Statement update(*m_statements,
                         "UPDATE reservations SET streamed = ?, expires_at = ? WHERE id = ?");
        for (const Progress &progress : open) {
            update.bind(1, progress.streamed).bind(2, expiresAt).bind(3, progress.reservationId);
            update.step();
            update.reset();
        }
        return 0;
    });
}

Released SqliteStore::releaseExpired(std::int64_t now) {
    std::lock_guard lock(m_mutex);
    sqlite3 *db = m_db.get();
    return inTransaction(*m_statements, [&] {
        std::vector<Settlement> expired;
        Statement select(db, "SELECT id, user_id, streamed, model, owner FROM reservations "
                             "WHERE expires_at < ?");
        select.bind(1, now);
        while (select.step())
            expired.push_back({"r" + std::to_string(select.integer(0)), select.integer(1),
                               select.integer(0), select.integer(2), select.text(3).value_or(""),
                               select.text(4).value_or("")});
        Released released;
        for (const Settlement &settlement : expired) {
            const Settled outcome = settleLocked(settlement);
            released.add(outcome);
        }
        return released;
    });
}

std::vector<AccountBooks> SqliteStore::books() {
    std::lock_guard lock(m_mutex);
    Statement select(m_db.get(),
                     "SELECT u.id, u.token_balance, "
                     "(SELECT COALESCE(SUM(tokens), 0) FROM usage_events WHERE user_id = u.id), "
                     "(SELECT COALESCE(SUM(tokens), 0) FROM reservations WHERE user_id = u.id), "
                     "(SELECT COUNT(*) FROM reservations WHERE user_id = u.id AND expires_at < ?) "
                     "FROM users u ORDER BY u.id");
    select.bind(1, nowSeconds());
    std::vector<AccountBooks> books;
    while (select.step())
        books.push_back({select.integer(0), select.integer(1), select.integer(2), select.integer(3),
                         select.integer(4)});
    return books;
}

} // namespace pindle
