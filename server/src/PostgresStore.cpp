#include "PostgresStore.h"

#include <libpq-fe.h>
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace pindle {

namespace {

constexpr const char *migrations[] = {
    R"sql(
CREATE TABLE users (
    id BIGSERIAL PRIMARY KEY,
    email TEXT NOT NULL,
    email_key TEXT NOT NULL UNIQUE,
    name TEXT NOT NULL,
    password_hash TEXT NOT NULL,
    subscription_status TEXT NOT NULL,
    subscription_end TEXT,
    token_balance BIGINT NOT NULL,
    created_at BIGINT NOT NULL
);
CREATE TABLE sessions (
    token_hash BYTEA PRIMARY KEY,
    user_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    created_at BIGINT NOT NULL,
    expires_at BIGINT NOT NULL
);
CREATE INDEX sessions_by_expiry ON sessions(expires_at);
CREATE TABLE usage_events (
    id BIGSERIAL PRIMARY KEY,
    user_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    model TEXT NOT NULL,
    tokens BIGINT NOT NULL,
    created_at BIGINT NOT NULL
);
)sql",
    // Reservations are rows, so an answer cut off by a crash leaves a record to settle.
    R"sql(
CREATE TABLE reservations (
    id BIGSERIAL PRIMARY KEY,
    user_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
    owner TEXT NOT NULL,
    model TEXT NOT NULL,
    tokens BIGINT NOT NULL,
    streamed BIGINT NOT NULL DEFAULT 0,
    created_at BIGINT NOT NULL,
    expires_at BIGINT NOT NULL
);
CREATE INDEX reservations_by_expiry ON reservations(expires_at);
ALTER TABLE usage_events ADD COLUMN settlement TEXT;
CREATE UNIQUE INDEX usage_events_by_settlement ON usage_events(settlement);
)sql",
    // The servers sharing the database count sign-in and sign-up attempts together, under keys
    // hashed so that no e-mail or client address is stored readable. A deleted account's usage
    // records stay, without it.
    R"sql(
CREATE TABLE attempt_counts (
    kind SMALLINT NOT NULL,
    key BYTEA NOT NULL,
    expires_at BIGINT NOT NULL,
    count INTEGER NOT NULL,
    PRIMARY KEY (kind, key)
);
CREATE INDEX attempt_counts_by_expiry ON attempt_counts(expires_at);
CREATE TABLE known_addresses (
    account BYTEA NOT NULL,
    address BYTEA NOT NULL,
    seen_at BIGINT NOT NULL,
    PRIMARY KEY (account, address)
);
CREATE INDEX known_addresses_by_age ON known_addresses(seen_at);
ALTER TABLE usage_events ALTER COLUMN user_id DROP NOT NULL;
ALTER TABLE usage_events DROP CONSTRAINT usage_events_user_id_fkey;
ALTER TABLE usage_events ADD CONSTRAINT usage_events_user_id_fkey
    FOREIGN KEY (user_id) REFERENCES users(id) ON DELETE SET NULL;
)sql",
    // The account page sums an account's usage by day.
    R"sql(
CREATE INDEX usage_events_by_user ON usage_events(user_id, created_at);
)sql",
};

// Any number with the project's name in it: the key of the migration lock.
constexpr const char *migrationLockKey = "7274635301";

constexpr const char *userColumns = "id, email, name, password_hash, subscription_status, "
                                    "subscription_end, token_balance";

struct ResultDeleter {
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A statement every connection prepares when it opens: those each chat runs, so the database
// plans them once instead of every time.
struct Prepared {
    const char *name;
    const char *sql;
};

constexpr Prepared sessionUserStatement{
    "session_user", "SELECT u.id, u.email, u.name, u.password_hash, u.subscription_status, "
                    "u.subscription_end, u.token_balance FROM sessions s JOIN users u ON "
                    "u.id = s.user_id WHERE s.token_hash = $1 AND s.expires_at > $2"};

// One statement, so one round trip: a burst of new chats queues on the account's row lock, not
// on a conversation per chat.
constexpr Prepared reserveStatement{
    "reserve", "WITH held AS (SELECT id, LEAST(GREATEST(token_balance, 0), $2::bigint) AS tokens "
               "FROM users WHERE id = $1 FOR UPDATE), "
               "taken AS (UPDATE users u SET token_balance = u.token_balance - held.tokens "
               "FROM held WHERE u.id = held.id AND held.tokens > 0 RETURNING held.tokens), "
               "booked AS (INSERT INTO reservations (user_id, owner, model, tokens, "
               "created_at, expires_at) SELECT $1, $3, $4, tokens, $5, $6 FROM taken "
               "RETURNING id, tokens) "
               "SELECT (SELECT COUNT(*) FROM held), (SELECT id FROM booked), "
               "(SELECT tokens FROM booked)"};

// Fails quietly on a connection opened before the schema exists: migrate() prepares them again.
void prepareStatements(pg_conn *connection) {
    for (const Prepared &statement : {sessionUserStatement, reserveStatement})
        PQclear(PQprepare(connection, statement.name, statement.sql, 0, nullptr));
}

// Parameters of one statement: text values, or a binary token hash.
class Params {
public:
    Params &text(std::string value) {
        m_storage.push_back(std::move(value));
        m_null.push_back(false);
        m_binary.push_back(0);
        return *this;
    }
    Params &number(std::int64_t value) { return text(std::to_string(value)); }
    Params &optional(const std::optional<std::string> &value) {
        if (value)
            return text(*value);
        m_storage.emplace_back();
        m_null.push_back(true);
        m_binary.push_back(0);
        return *this;
    }
    Params &blob(const TokenHash &hash) {
        m_storage.emplace_back(reinterpret_cast<const char *>(hash.data()), hash.size());
        m_null.push_back(false);
        m_binary.push_back(1);
        return *this;
    }

    Result run(pg_conn *connection, const char *sql) const {
        return check(connection, [&](const char *const *values, const int *lengths) {
            return PQexecParams(connection, sql, int(m_storage.size()), nullptr, values, lengths,
                                m_binary.data(), 0);
        });
    }
    // Runs a statement every connection prepared when it opened.
    Result run(pg_conn *connection, const Prepared &statement) const {
        return check(connection, [&](const char *const *values, const int *lengths) {
            return PQexecPrepared(connection, statement.name, int(m_storage.size()), values,
                                  lengths, m_binary.data(), 0);
        });
    }

private:
    template <typename Send> Result check(pg_conn *connection, const Send &send) const {
        std::vector<const char *> values;
        std::vector<int> lengths;
        for (size_t i = 0; i < m_storage.size(); ++i) {
            values.push_back(m_null[i] ? nullptr : m_storage[i].data());
            lengths.push_back(int(m_storage[i].size()));
        }
        Result result(send(values.data(), lengths.data()));
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            throw StoreError(std::string("PostgreSQL: ") + PQerrorMessage(connection));
        return result;
    }

    std::vector<std::string> m_storage;
    std::vector<bool> m_null;
    std::vector<int> m_binary;
};

// Statements without parameters; may hold several, separated by semicolons.
Result execute(pg_conn *connection, const char *sql) {
    Result result(PQexec(connection, sql));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw StoreError(std::string("PostgreSQL: ") + PQerrorMessage(connection));
    return result;
}

std::int64_t integer(const PGresult *result, int row, int column) {
    return std::stoll(PQgetvalue(result, row, column));
}

User userAt(const PGresult *result, int row) {
    User user;
    user.id = integer(result, row, 0);
    user.email = PQgetvalue(result, row, 1);
    user.name = PQgetvalue(result, row, 2);
    user.passwordHash = PQgetvalue(result, row, 3);
    user.subscriptionStatus = PQgetvalue(result, row, 4);
    if (!PQgetisnull(result, row, 5))
        user.subscriptionEnd = PQgetvalue(result, row, 5);
    user.tokenBalance = integer(result, row, 6);
    return user;
}

std::optional<User> firstUser(const Result &result) {
    if (PQntuples(result.get()) == 0)
        return std::nullopt;
    return userAt(result.get(), 0);
}

std::int64_t changed(const Result &result) {
    return std::stoll(PQcmdTuples(result.get()));
}

// How an attempt count's key, an account or a client address is stored.
TokenHash keyHash(const std::string &key) {
    static constexpr std::string_view context = "pindle attempt limits";
    TokenHash hash;
    crypto_generichash(hash.data(), hash.size(),
                       reinterpret_cast<const unsigned char *>(key.data()), key.size(),
                       reinterpret_cast<const unsigned char *>(context.data()), context.size());
    return hash;
}

} // namespace

// A pooled connection for the length of one call; a broken one is dropped, not reused.
class PostgresStore::Lease {
public:
    explicit Lease(PostgresStore &store)
        : m_store(store) {
        std::unique_lock lock(store.m_mutex);
        store.m_returned.wait(
            lock, [&] { return !store.m_idle.empty() || store.m_open < store.m_capacity; });
        if (!store.m_idle.empty()) {
            m_connection = store.m_idle.back();
            store.m_idle.pop_back();
            return;
        }
        ++store.m_open;
        lock.unlock();
        try {
            m_connection = store.connect();
        } catch (...) {
            std::lock_guard relock(store.m_mutex);
            --store.m_open;
            store.m_returned.notify_one();
            throw;
        }
    }
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;
    ~Lease() {
        std::lock_guard lock(m_store.m_mutex);
        if (PQstatus(m_connection) == CONNECTION_OK &&
            PQtransactionStatus(m_connection) == PQTRANS_IDLE) {
            m_store.m_idle.push_back(m_connection);
        } else {
            PQfinish(m_connection);
            --m_store.m_open;
        }
        m_store.m_returned.notify_one();
    }
    [[nodiscard]] pg_conn *get() const { return m_connection; }

    // Runs `work` inside one transaction, rolling back if it throws.
    template <typename Work> auto transaction(Work &&work) {
        execute(m_connection, "BEGIN");
        try {
            auto result = work();
            execute(m_connection, "COMMIT");
            return result;
        } catch (...) {
            PQclear(PQexec(m_connection, "ROLLBACK"));
            throw;
        }
    }

private:
    PostgresStore &m_store;
    pg_conn *m_connection = nullptr;
};

// The counts in the shared database: each call one statement (remember() one transaction), so
// servers counting at once lose nothing.
class PostgresStore::Limits final : public AttemptLimits {
public:
    explicit Limits(PostgresStore &store)
        : m_store(store) {}

    bool blocked(const Limit &limit, const std::string &key, std::int64_t now) override {
        Lease lease(m_store);
        const Result found = Params()
                                 .number(limit.kind)
                                 .blob(keyHash(key))
                                 .number(now)
                                 .number(limit.most)
                                 .run(lease.get(), "SELECT 1 FROM attempt_counts WHERE kind = $1 "
                                                   "AND key = $2 AND expires_at >= $3 "
                                                   "AND count >= $4");
        return PQntuples(found.get()) > 0;
    }

    bool record(const Limit &limit, const std::string &key, std::int64_t now) override {
        Lease lease(m_store);
        // A window that has passed starts again with this attempt.
        const Result counted =
            Params()
                .number(limit.kind)
                .blob(keyHash(key))
                .number(now)
                .number(limit.window.count())
                .run(lease.get(),
                     "INSERT INTO attempt_counts AS c (kind, key, expires_at, count) "
                     "VALUES ($1, $2, $3::bigint + $4::bigint, 1) "
                     "ON CONFLICT (kind, key) DO UPDATE SET "
                     "count = CASE WHEN c.expires_at < $3 THEN 1 ELSE c.count + 1 END, "
                     "expires_at = CASE WHEN c.expires_at < $3 THEN EXCLUDED.expires_at "
                     "ELSE c.expires_at END RETURNING count");
        return integer(counted.get(), 0, 0) <= limit.most;
    }

    void clear(const Limit &limit, const std::string &key) override {
        Lease lease(m_store);
        Params()
            .number(limit.kind)
            .blob(keyHash(key))
            .run(lease.get(), "DELETE FROM attempt_counts WHERE kind = $1 AND key = $2");
    }

    bool knows(const std::string &account, const std::string &address, std::int64_t now) override {
        Lease lease(m_store);
        const Result found =
            Params()
                .blob(keyHash(account))
                .blob(keyHash(address))
                .number(now - addressMemory.count())
                .run(lease.get(), "SELECT 1 FROM known_addresses WHERE "
                                  "account = $1 AND address = $2 AND seen_at >= $3");
        return PQntuples(found.get()) > 0;
    }

    void remember(const std::string &account, const std::string &address,
                  std::int64_t now) override {
        Lease lease(m_store);
        const TokenHash accountKey = keyHash(account);
        lease.transaction([&] {
            Params()
                .blob(accountKey)
                .blob(keyHash(address))
                .number(now)
                .run(lease.get(), "INSERT INTO known_addresses AS k (account, address, seen_at) "
                                  "VALUES ($1, $2, $3) ON CONFLICT (account, address) DO UPDATE "
                                  "SET seen_at = GREATEST(k.seen_at, EXCLUDED.seen_at)");
            Params()
                .blob(accountKey)
                .number(std::int64_t(addressesPerAccount))
                .run(lease.get(), "DELETE FROM known_addresses WHERE account = $1 AND address "
                                  "NOT IN (SELECT address FROM known_addresses WHERE account = $1 "
                                  "ORDER BY seen_at DESC, address LIMIT $2)");
            return 0;
        });
    }

    std::int64_t prune(std::int64_t now) override {
        Lease lease(m_store);
        return changed(Params().number(now).run(
                   lease.get(), "DELETE FROM attempt_counts WHERE expires_at < $1")) +
               changed(Params()
                           .number(now - addressMemory.count())
                           .run(lease.get(), "DELETE FROM known_addresses WHERE seen_at < $1"));
    }

private:
    PostgresStore &m_store;
};

std::unique_ptr<AttemptLimits> PostgresStore::attemptLimits() {
    return std::make_unique<Limits>(*this);
}

PostgresStore::PostgresStore(const std::string &connection, int poolSize)
    : m_connection(connection)
    , m_capacity(poolSize > 0 ? poolSize : 1) {
    migrate();
}

PostgresStore::~PostgresStore() {
    for (pg_conn *connection : m_idle)
        PQfinish(connection);
}

pg_conn *PostgresStore::connect() {
    // A database that does not answer must not hold a worker for ever; settings in the
    // connection string come later and win.
    const char *keywords[] = {"connect_timeout", "keepalives", "dbname", nullptr};
    const char *values[] = {"5", "1", m_connection.c_str(), nullptr};
    pg_conn *connection = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(connection) != CONNECTION_OK) {
        std::string message = PQerrorMessage(connection);
        PQfinish(connection);
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        throw StoreError("cannot reach PostgreSQL: " + message);
    }
    PQclear(PQexec(connection, "SET client_min_messages = warning"));
    prepareStatements(connection);
    return connection;
}

void PostgresStore::migrate() {
    Lease lease(*this);
    pg_conn *db = lease.get();
    Params().text(migrationLockKey).run(db, "SELECT pg_advisory_lock($1::bigint)");
    try {
        lease.transaction([&] {
            execute(db, "CREATE TABLE IF NOT EXISTS pindle_schema (version INTEGER NOT NULL)");
            const Result current = execute(db, "SELECT version FROM pindle_schema");
            const std::int64_t applied =
                PQntuples(current.get()) ? integer(current.get(), 0, 0) : 0;
            const auto known = std::int64_t(std::size(migrations));
            if (applied > known)
                throw StoreError("the database was made by a newer pindle-server (schema " +
                                 std::to_string(applied) + ")");
            for (std::int64_t next = applied; next < known; ++next)
                execute(db, migrations[next]);
            execute(db, "DELETE FROM pindle_schema");
            Params().number(known).run(db, "INSERT INTO pindle_schema (version) VALUES ($1)");
            return 0;
        });
    } catch (...) {
        Params().text(migrationLockKey).run(db, "SELECT pg_advisory_unlock($1::bigint)");
        throw;
    }
    Params().text(migrationLockKey).run(db, "SELECT pg_advisory_unlock($1::bigint)");
    prepareStatements(db);
}

std::optional<User> PostgresStore::createUser(const NewUser &user) {
    Lease lease(*this);
    const std::string sql = std::string("INSERT INTO users (email, email_key, name, password_hash, "
                                        "subscription_status, subscription_end, token_balance, "
                                        "created_at) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) "
                                        "ON CONFLICT (email_key) DO NOTHING RETURNING ") +
                            userColumns;
    return firstUser(Params()
                         .text(user.email)
                         .text(normalizedEmail(user.email))
                         .text(user.name)
                         .text(user.passwordHash)
                         .text(user.subscriptionStatus)
                         .optional(user.subscriptionEnd)
                         .number(user.tokenBalance)
                         .number(nowSeconds())
                         .run(lease.get(), sql.c_str()));
}

std::optional<User> PostgresStore::findUserByEmail(const std::string &email) {
    Lease lease(*this);
    const std::string sql =
        std::string("SELECT ") + userColumns + " FROM users WHERE email_key = $1";
    return firstUser(Params().text(normalizedEmail(email)).run(lease.get(), sql.c_str()));
}

std::vector<User> PostgresStore::listUsers() {
    Lease lease(*this);
    const std::string sql = std::string("SELECT ") + userColumns + " FROM users ORDER BY id";
    const Result result = execute(lease.get(), sql.c_str());
    std::vector<User> users;
    for (int row = 0; row < PQntuples(result.get()); ++row)
        users.push_back(userAt(result.get(), row));
    return users;
}

bool PostgresStore::setTokenBalance(const std::string &email, std::int64_t balance) {
    Lease lease(*this);
    return lease.transaction([&] {
        const Result account =
            Params()
                .text(normalizedEmail(email))
                .run(lease.get(), "SELECT id FROM users WHERE email_key = $1 FOR UPDATE");
        if (PQntuples(account.get()) == 0)
            return false;
        const std::int64_t userId = integer(account.get(), 0, 0);
        // What answers under way hold would otherwise come back on top of the new balance.
        Params().number(userId).run(lease.get(),
                                    "UPDATE reservations SET tokens = 0 WHERE user_id = $1");
        Params().number(balance).number(userId).run(
            lease.get(), "UPDATE users SET token_balance = $1 WHERE id = $2");
        return true;
    });
}

BalanceChange PostgresStore::addTokens(const std::string &email, std::int64_t tokens) {
    Lease lease(*this);
    const std::string key = normalizedEmail(email);
    const Result added =
        Params()
            .number(tokens)
            .text(key)
            .number(maxTokenBalance)
            .run(lease.get(), "UPDATE users SET token_balance = token_balance + $1 "
                              "WHERE email_key = $2 AND token_balance <= $3::bigint - $1::bigint");
    if (std::strcmp(PQcmdTuples(added.get()), "0") != 0)
        return BalanceChange::Made;
    const Result found =
        Params().text(key).run(lease.get(), "SELECT 1 FROM users WHERE email_key = $1");
    return PQntuples(found.get()) > 0 ? BalanceChange::TooLarge : BalanceChange::NoAccount;
}

bool PostgresStore::setPlan(const std::string &email, const std::string &status,
                            const std::optional<std::string> &end) {
    Lease lease(*this);
    return changed(Params()
                       .text(status)
                       .optional(end)
                       .text(normalizedEmail(email))
                       .run(lease.get(), "UPDATE users SET subscription_status = $1, "
                                         "subscription_end = $2 WHERE email_key = $3")) > 0;
}

bool PostgresStore::setPasswordHash(std::int64_t userId, const std::string &passwordHash,
                                    const TokenHash &keep) {
    Lease lease(*this);
    pg_conn *db = lease.get();
    return lease.transaction([&] {
        if (changed(Params()
                        .text(passwordHash)
                        .number(userId)
                        .run(db, "UPDATE users SET password_hash = $1 WHERE id = $2")) == 0)
            return false;
        Params().number(userId).blob(keep).run(
            db, "DELETE FROM sessions WHERE user_id = $1 AND token_hash <> $2");
        return true;
    });
}

std::vector<DailyUsage> PostgresStore::usageByDay(std::int64_t userId, std::int64_t since) {
    Lease lease(*this);
    const Result result = Params().number(userId).number(since).run(
        lease.get(), "SELECT created_at / 86400 AS day, SUM(tokens) FROM usage_events "
                     "WHERE user_id = $1 AND created_at >= $2 GROUP BY day ORDER BY day DESC");
    std::vector<DailyUsage> days;
    for (int row = 0; row < PQntuples(result.get()); ++row)
        days.push_back({utcDate(integer(result.get(), row, 0)), integer(result.get(), row, 1)});
    return days;
}

void PostgresStore::createSession(const TokenHash &hash, std::int64_t userId,
                                  std::int64_t expiresAt) {
    Lease lease(*this);
    Params()
        .blob(hash)
        .number(userId)
        .number(nowSeconds())
        .number(expiresAt)
        .run(lease.get(), "INSERT INTO sessions (token_hash, user_id, created_at, expires_at) "
                          "VALUES ($1, $2, $3, $4)");
}

std::optional<User> PostgresStore::findSessionUser(const TokenHash &hash, std::int64_t now) {
    Lease lease(*this);
    return firstUser(Params().blob(hash).number(now).run(lease.get(), sessionUserStatement));
}

void PostgresStore::deleteSession(const TokenHash &hash) {
    Lease lease(*this);
    Params().blob(hash).run(lease.get(), "DELETE FROM sessions WHERE token_hash = $1");
}

std::int64_t PostgresStore::deleteExpiredSessions(std::int64_t now) {
    Lease lease(*this);
    const Result result =
        Params().number(now).run(lease.get(), "DELETE FROM sessions WHERE expires_at <= $1");
    return std::stoll(PQcmdTuples(result.get()));
}

std::optional<std::vector<SessionTimes>> PostgresStore::listSessions(const std::string &email,
                                                                     std::int64_t now) {
    Lease lease(*this);
    const Result result =
        Params()
            .text(normalizedEmail(email))
            .number(now)
            .run(lease.get(), "SELECT s.created_at, s.expires_at FROM users u LEFT JOIN sessions s "
                              "ON s.user_id = u.id AND s.expires_at > $2 WHERE u.email_key = $1 "
                              "ORDER BY s.created_at, s.expires_at");
    if (PQntuples(result.get()) == 0)
        return std::nullopt;
    std::vector<SessionTimes> sessions;
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        if (!PQgetisnull(result.get(), row, 0))
            sessions.push_back({integer(result.get(), row, 0), integer(result.get(), row, 1)});
    }
    return sessions;
}

std::optional<std::int64_t> PostgresStore::deleteSessions(const std::string &email) {
    Lease lease(*this);
    const Result result =
        Params()
            .text(normalizedEmail(email))
            .run(lease.get(),
                 "WITH account AS (SELECT id FROM users WHERE email_key = $1), "
                 "ended AS (DELETE FROM sessions WHERE user_id IN (SELECT id FROM account) "
                 "RETURNING 1) SELECT (SELECT COUNT(*) FROM account), "
                 "(SELECT COUNT(*) FROM ended)");
    if (integer(result.get(), 0, 0) == 0)
        return std::nullopt;
    return integer(result.get(), 0, 1);
}

Deletion PostgresStore::deleteUser(const std::string &email) {
    Lease lease(*this);
    pg_conn *db = lease.get();
    const std::string key = normalizedEmail(email);
    return lease.transaction([&] {
        // The account's row first, as reserve() and settlements lock it: no reservation can
        // open while this looks, nor a settlement land halfway.
        // Counted once the lock is held: a statement of its own sees what committed meanwhile.
        const Result account =
            Params().text(key).run(db, "SELECT id FROM users WHERE email_key = $1 FOR UPDATE");
        if (PQntuples(account.get()) == 0)
            return Deletion{};
        const std::int64_t userId = integer(account.get(), 0, 0);
        const Result open =
            Params().number(userId).run(db, "SELECT COUNT(*) FROM reservations WHERE user_id = $1");
        if (integer(open.get(), 0, 0) > 0)
            return Deletion{Deletion::Outcome::AnswersUnderWay};
        Deletion deletion{Deletion::Outcome::Deleted};
        deletion.sessions =
            changed(Params().number(userId).run(db, "DELETE FROM sessions WHERE user_id = $1"));
        deletion.usageRecords = changed(Params().number(userId).run(
            db, "UPDATE usage_events SET user_id = NULL WHERE user_id = $1"));
        Params().blob(keyHash(key)).run(db, "DELETE FROM known_addresses WHERE account = $1");
        Params().number(userId).run(db, "DELETE FROM users WHERE id = $1");
        return deletion;
    });
}

HeldTokens PostgresStore::reserve(std::int64_t userId, std::int64_t tokens,
                                  const std::string &model, const std::string &owner,
                                  std::int64_t expiresAt) {
    Lease lease(*this);
    const Result result = Params()
                              .number(userId)
                              .number(tokens)
                              .text(owner)
                              .text(model)
                              .number(nowSeconds())
                              .number(expiresAt)
                              .run(lease.get(), reserveStatement);
    if (integer(result.get(), 0, 0) == 0)
        throw StoreError("no account with id " + std::to_string(userId));
    if (PQgetisnull(result.get(), 0, 1))
        return {};
    return {integer(result.get(), 0, 1), integer(result.get(), 0, 2)};
}

Settled PostgresStore::settleIn(pg_conn *db, const Settlement &settlement,
                                std::optional<std::int64_t> expiredBefore) {
    const Result balance = Params()
                               .number(settlement.userId)
                               .run(db, "SELECT token_balance FROM users WHERE id = $1 FOR UPDATE");
    if (PQntuples(balance.get()) == 0)
        return {}; // the account is gone, and its reservations with it
    // A charge without a reservation is applied once per key. So is a settlement an older
    // server journaled: it names no owner, so it cannot tell its reservation from a later one
    // given the same id (on SQLite, where ids were handed out again), and its key was how that
    // server knew it applied.
    if ((settlement.reservationId == 0 || settlement.owner.empty()) &&
        PQntuples(Params()
                      .text(settlement.key)
                      .run(db, "SELECT 1 FROM usage_events WHERE settlement = $1")
                      .get()) > 0)
        return {};
    Settled outcome;
    if (settlement.reservationId != 0) {
        Params close;
        close.number(settlement.reservationId).number(settlement.userId);
        std::string sql = "DELETE FROM reservations WHERE id = $1 AND user_id = $2";
        if (!settlement.owner.empty()) {
            close.text(settlement.owner);
            sql += " AND owner = $3";
        }
        if (expiredBefore) { // unless its owner renewed it since the sweep looked
            close.number(*expiredBefore);
            sql += " AND expires_at < $" + std::to_string(settlement.owner.empty() ? 3 : 4);
        }
        const Result closed = close.run(db, (sql + " RETURNING tokens").c_str());
        if (PQntuples(closed.get()) == 0)
            return {}; // closed already: settled, or released when it expired
        outcome = {true, integer(closed.get(), 0, 0), 0};
    }
    outcome.charged = std::clamp<std::int64_t>(
        settlement.used, 0,
        std::max<std::int64_t>(integer(balance.get(), 0, 0) + outcome.reserved, 0));
    Params()
        .number(outcome.reserved)
        .number(outcome.charged)
        .number(settlement.userId)
        .run(db, "UPDATE users SET token_balance = token_balance + $1 - $2 WHERE id = $3");
    if (outcome.charged > 0)
        Params()
            .number(settlement.userId)
            .text(settlement.model)
            .number(outcome.charged)
            .number(nowSeconds())
            .text(settlement.key)
            .run(db, "INSERT INTO usage_events (user_id, model, tokens, created_at, settlement) "
                     "VALUES ($1, $2, $3, $4, $5)");
    return outcome;
}

std::int64_t PostgresStore::settle(const Settlement &settlement) {
    Lease lease(*this);
    return lease.transaction([&] { return settleIn(lease.get(), settlement).charged; });
}

void PostgresStore::settleAll(const std::vector<Settlement> &settlements) {
    // Accounts locked in ascending order, as every other transaction here does.
    std::vector<const Settlement *> ordered;
    for (const Settlement &settlement : settlements)
        ordered.push_back(&settlement);
    std::stable_sort(ordered.begin(), ordered.end(), [](const Settlement *a, const Settlement *b) {
        return a->userId < b->userId;
    });
    Lease lease(*this);
    lease.transaction([&] {
        for (const Settlement *settlement : ordered)
            settleIn(lease.get(), *settlement);
        return 0;
    });
}

void PostgresStore::renewReservations(const std::vector<Progress> &open, std::int64_t expiresAt) {
    if (open.empty())
        return;
    // One statement for them all: the ids and counts as two arrays.
    std::string ids = "{", streamed = "{";
    for (const Progress &progress : open) {
        ids += std::to_string(progress.reservationId) + ',';
        streamed += std::to_string(progress.streamed) + ',';
    }
    ids.back() = '}';
    streamed.back() = '}';
    Lease lease(*this);
    // A row another transaction holds is renewed next time, well before it expires.
    Params().text(ids).text(streamed).number(expiresAt).run(
        lease.get(), "WITH free AS (SELECT r.id, p.streamed FROM reservations r JOIN "
                     "UNNEST($1::bigint[], $2::bigint[]) AS p(id, streamed) ON p.id = r.id "
                     "FOR UPDATE OF r SKIP LOCKED) "
                     "UPDATE reservations r SET streamed = free.streamed, expires_at = $3 "
                     "FROM free WHERE r.id = free.id");
}

Released PostgresStore::releaseExpired(std::int64_t now) {
    Lease lease(*this);
    return lease.transaction([&] {
        // Not locked here: settleIn locks the account first, then closes the row, which a
        // server sweeping at the same time may have closed already.
        const Result expired = Params().number(now).run(
            lease.get(), "SELECT id, user_id, streamed, model, owner FROM reservations "
                         "WHERE expires_at < $1 ORDER BY user_id, id");
        Released released;
        for (int row = 0; row < PQntuples(expired.get()); ++row) {
            const std::int64_t id = integer(expired.get(), row, 0);
            const Settled outcome =
                settleIn(lease.get(),
                         {"r" + std::to_string(id), integer(expired.get(), row, 1), id,
                          integer(expired.get(), row, 2), PQgetvalue(expired.get(), row, 3),
                          PQgetvalue(expired.get(), row, 4)},
                         now);
            released.add(outcome);
        }
        return released;
    });
}

std::vector<AccountBooks> PostgresStore::books() {
    Lease lease(*this);
    const Result result =
        Params()
            .number(nowSeconds())
            .run(lease.get(),
                 "SELECT u.id, u.token_balance, "
                 "(SELECT COALESCE(SUM(tokens), 0) FROM usage_events WHERE user_id = u.id), "
                 "(SELECT COALESCE(SUM(tokens), 0) FROM reservations WHERE user_id = u.id), "
                 "(SELECT COUNT(*) FROM reservations WHERE user_id = u.id AND expires_at < $1) "
                 "FROM users u ORDER BY u.id");
    std::vector<AccountBooks> books;
    for (int row = 0; row < PQntuples(result.get()); ++row)
        books.push_back({integer(result.get(), row, 0), integer(result.get(), row, 1),
                         integer(result.get(), row, 2), integer(result.get(), row, 3),
                         integer(result.get(), row, 4)});
    return books;
}

} // namespace pindle
