// Both stores, held to the same behaviour: accounts and sessions seen by every server sharing the
// data, e-mail uniqueness, session expiry, and books that balance: no update lost, no overspending
// when many changes land at once, every reservation closed once, and charges kept while the
// store is away. PostgreSQL runs when scripts/with-postgres.sh provides a server.

#include "Ledger.h"
#include "OpenStore.h"
#include "PostgresStore.h"
#include "SqliteStore.h"
#include "TestPostgres.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

using namespace pindle;

namespace {

NewUser newUser(const std::string &email, std::int64_t balance = 100) {
    NewUser user;
    user.email = email;
    user.name = "Someone";
    user.passwordHash = "$argon2id$stand-in";
    user.tokenBalance = balance;
    return user;
}

TokenHash hashOf(unsigned char seed) {
    TokenHash hash{};
    hash.fill(seed);
    return hash;
}

// Runs `work(0)` to `work(7)` on threads of their own, all at once.
template <typename Work> void onEightThreads(const Work &work) {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(work, t);
}

// A store that can be made unreachable, as a database behind a broken network is.
class AwayStore final : public Store {
public:
    explicit AwayStore(Store &store)
        : m_store(store) {}
    std::atomic<bool> away = false;

    std::optional<User> createUser(const NewUser &user) override {
        return m_store.createUser(user);
    }
    std::optional<User> findUserByEmail(const std::string &email) override {
        return m_store.findUserByEmail(email);
    }
    std::vector<User> listUsers() override { return m_store.listUsers(); }
    bool setTokenBalance(const std::string &email, std::int64_t balance) override {
        return m_store.setTokenBalance(email, balance);
    }
    void createSession(const TokenHash &hash, std::int64_t userId,
                       std::int64_t expiresAt) override {
        m_store.createSession(hash, userId, expiresAt);
    }
    std::optional<User> findSessionUser(const TokenHash &hash, std::int64_t now) override {
        return m_store.findSessionUser(hash, now);
    }
    void deleteSession(const TokenHash &hash) override { m_store.deleteSession(hash); }
    std::int64_t deleteExpiredSessions(std::int64_t now) override {
        return m_store.deleteExpiredSessions(now);
    }
    HeldTokens reserve(std::int64_t userId, std::int64_t tokens, const std::string &model,
                       const std::string &owner, std::int64_t expiresAt) override {
        return m_store.reserve(userId, tokens, model, owner, expiresAt);
    }
    std::int64_t settle(const Settlement &settlement) override {
        if (away)
            throw StoreError("PostgreSQL: server closed the connection unexpectedly");
        return m_store.settle(settlement);
    }
    void settleAll(const std::vector<Settlement> &settlements) override {
        if (away)
            throw StoreError("PostgreSQL: server closed the connection unexpectedly");
        m_store.settleAll(settlements);
    }
    void renewReservations(const std::vector<Progress> &open, std::int64_t expiresAt) override {
        m_store.renewReservations(open, expiresAt);
    }
    std::int64_t releaseExpired(std::int64_t now) override { return m_store.releaseExpired(now); }
    std::vector<AccountBooks> books() override { return m_store.books(); }

private:
    Store &m_store;
};

} // namespace

class StoreTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::string m_database;

    // A handle on the data, as the server opens it from its "database" setting; a second one
    // stands for another server process.
    std::unique_ptr<Store> open() { return openStore(m_database); }

private Q_SLOTS:
    // Every test runs against each store.
    void initTestCase_data() {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << "sqlite";
        QTest::newRow("postgresql") << "postgresql";
    }

    void init() {
        QFETCH_GLOBAL(QString, backend);
        if (backend == "sqlite") {
            QDir(m_dir.path()).removeRecursively();
            m_database = "sqlite:" + m_dir.filePath("data/pindle.db").toStdString();
            return;
        }
        PINDLE_TEST_POSTGRES(postgres);
        m_database = postgres.toStdString();
    }

    void accountsAndSessionsAreShared() {
        const auto store = open();
        const std::optional<User> created = store->createUser(newUser("Mixed@Case.org", 7));
        QVERIFY(created);
        QCOMPARE(created->email, std::string("Mixed@Case.org"));
        QVERIFY(!store->createUser(newUser("mixed@CASE.org"))); // taken, whatever the case
        store->createSession(hashOf(1), created->id, 1000);
        store->createSession(hashOf(2), created->id, 5000);

        const auto other = open(); // the schema is current: opening again changes nothing
        const std::optional<User> found = other->findUserByEmail("MIXED@case.ORG");
        QVERIFY(found);
        QCOMPARE(found->tokenBalance, 7);
        QVERIFY(!found->subscriptionEnd);
        QCOMPARE(other->listUsers().size(), size_t(1));
        QVERIFY(other->setTokenBalance("mixed@case.org", 42));
        QVERIFY(!other->setTokenBalance("nobody@case.org", 42));
        QCOMPARE(store->findUserByEmail("mixed@case.org")->tokenBalance, 42);

        QCOMPARE(other->findSessionUser(hashOf(1), 999)->id, created->id);
        QVERIFY(!other->findSessionUser(hashOf(1), 1000)); // ends at its expiry
        QVERIFY(!other->findSessionUser(hashOf(3), 0));
        QCOMPARE(other->deleteExpiredSessions(2000), 1);
        QVERIFY(store->findSessionUser(hashOf(2), 2000));
        other->deleteSession(hashOf(2));
        QVERIFY(!store->findSessionUser(hashOf(2), 2000));
    }

    // Every token is somewhere: left in the balance, charged, or set aside for an answer.
    static void checkBooks(Store &store, std::int64_t userId, std::int64_t granted) {
        for (const AccountBooks &books : store.books()) {
            if (books.userId == userId) {
                QCOMPARE(books.balance + books.charged + books.reserved, granted);
                return;
            }
        }
        QFAIL("no books for the account");
    }

    void chargesLoseNothingAndCountOnce() {
        const auto store = open();
        const auto other = open();
        const User user = *store->createUser(newUser("d@x.org", 100000));
        onEightThreads([&](int t) {
            for (int i = 0; i < 25; ++i)
                (t % 2 ? *store : *other)
                    .settle({"c" + std::to_string(t) + "-" + std::to_string(i), user.id, 0, 3,
                             "gpt-4.1"});
        });
        QCOMPARE(store->findUserByEmail("d@x.org")->tokenBalance, 100000 - 8 * 25 * 3);
        QCOMPARE(store->settle({"c0-0", user.id, 0, 3, "gpt-4.1"}), 0); // applied already
        QCOMPARE(store->settle({"big", user.id, 0, 1'000'000, "o3"}), 100000 - 600); // all there is
        QCOMPARE(store->findUserByEmail("d@x.org")->tokenBalance, 0);
        QCOMPARE(store->settle({"ghost", user.id + 1000, 0, 1, "o3"}), 0);
        checkBooks(*store, user.id, 100000);
    }

    void reservationsNeverOverspendAndCloseOnce() {
        const auto store = open();
        const User user = *store->createUser(newUser("r@x.org", 100));
        std::mutex mutex;
        std::vector<HeldTokens> held;
        onEightThreads([&](int) {
            const HeldTokens got = store->reserve(user.id, 30, "gpt-4.1", "me", 1000);
            std::lock_guard lock(mutex);
            held.push_back(got);
        });
        std::sort(held.begin(), held.end(), [](auto a, auto b) { return a.tokens > b.tokens; });
        // Three answers got 30 each, one the last 10, the rest nothing and no row.
        QCOMPARE(held[0].tokens + held[1].tokens + held[2].tokens + held[3].tokens, 100);
        QCOMPARE(held[4].id, 0);
        QCOMPARE(store->findUserByEmail("r@x.org")->tokenBalance, 0);
        checkBooks(*store, user.id, 100);

        const std::string key = "r" + std::to_string(held[0].id);
        QCOMPARE(store->settle({key, user.id, held[0].id, 12, "gpt-4.1"}), 12); // 18 back
        QCOMPARE(store->settle({key, user.id, held[0].id, 12, "gpt-4.1"}), 0);
        QCOMPARE(store->findUserByEmail("r@x.org")->tokenBalance, 18);
        // More used than held: charged what the balance and the reservation allow.
        QCOMPARE(store->settle({"r" + std::to_string(held[1].id), user.id, held[1].id, 99, "o3"}),
                 48);
        checkBooks(*store, user.id, 100);

        // Renewed ones stay; expired ones are released, charging what was streamed, once.
        store->renewReservations({{held[2].id, 7}}, 5000);
        QCOMPARE(store->releaseExpired(2000), 1); // held[3], nothing streamed
        QCOMPARE(store->releaseExpired(6000), 1);
        QCOMPARE(store->settle({"r" + std::to_string(held[2].id), user.id, held[2].id, 30, "x"}),
                 0); // its server came back too late: already settled by the release
        QCOMPARE(store->findUserByEmail("r@x.org")->tokenBalance, 100 - 12 - 48 - 7);
        checkBooks(*store, user.id, 100);
    }

    // One server per SQLite file; any number share a PostgreSQL database.
    void soleServerClaim() {
        QFETCH_GLOBAL(QString, backend);
        const auto store = open();
        const auto other = open();
        QCOMPARE(store->claimSoleServer(), backend == "sqlite");
        if (backend == "sqlite")
            QVERIFY_THROWS_EXCEPTION(StoreError, other->claimSoleServer());
        else
            QVERIFY(!other->claimSoleServer());
    }

    // Charges made while the store is away wait in the journal, and a later process applies
    // them; a sole server releases what its predecessor left open.
    void ledgerKeepsChargesUntilTheStoreIsBack() {
        QFETCH_GLOBAL(QString, backend);
        const auto store = open();
        const User user = *store->createUser(newUser("j@x.org", 1000));
        AwayStore away(*store);
        const QString journal = m_dir.filePath("journal");
        {
            Ledger first(away, {"first", std::chrono::seconds(300), journal.toStdString(), false});
            const HeldTokens held = first.reserve(user.id, 100, "gpt-4.1");
            (void)first.reserve(user.id, 50, "gpt-4.1"); // never settled, as after kill -9
            away.away = true;
            first.settle({"r" + std::to_string(held.id), user.id, held.id, 40, "gpt-4.1"});
            QTRY_COMPARE(QDir(journal).entryList(QDir::Files).size(), 1);
            first.stop(std::chrono::milliseconds(300));
            QCOMPARE(first.waiting(), size_t(1));
        }
        QCOMPARE(store->findUserByEmail("j@x.org")->tokenBalance, 850);
        away.away = false;
        Ledger second(*store, {"second", std::chrono::seconds(300), journal.toStdString(),
                               store->claimSoleServer()});
        QCOMPARE(second.waiting(), size_t(0));
        QVERIFY(QDir(journal).isEmpty());
        // The settled answer cost 40; the one left open is released on SQLite, still held
        // until it expires on PostgreSQL.
        QCOMPARE(store->findUserByEmail("j@x.org")->tokenBalance, backend == "sqlite" ? 960 : 910);
        checkBooks(*store, user.id, 1000);
    }

    void unusableDatabasesAreReported() {
        QDir().mkpath(m_dir.filePath("broken"));
        QFile file(m_dir.filePath("broken/pindle.db"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY_THROWS_EXCEPTION(StoreError, (void)openStore(file.fileName().toStdString()));
        QVERIFY_THROWS_EXCEPTION(StoreError, (void)openStore("host=/nonexistent dbname=none"));
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store.moc"
