// Both stores, held to the same behaviour: accounts and sessions seen by every server sharing the
// data, e-mail uniqueness, session expiry, and balances that lose no update and never overspend
// when many changes land at once. PostgreSQL runs when scripts/with-postgres.sh provides a server.

#include "OpenStore.h"
#include "PostgresStore.h"
#include "SqliteStore.h"

#include <QTemporaryDir>
#include <QTest>

#include <libpq-fe.h>

#include <atomic>
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

std::string postgres() {
    return qEnvironmentVariable("PINDLE_TEST_POSTGRES").toStdString();
}

// Runs `work(0)` to `work(7)` on threads of their own, all at once.
template <typename Work> void onEightThreads(const Work &work) {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(work, t);
}

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
        // CI must not go green without PostgreSQL: there a missing server is a failure.
        if (postgres().empty() && qEnvironmentVariableIsSet("CI"))
            QFAIL("no PostgreSQL in CI: the test must run through scripts/with-postgres.sh");
        if (postgres().empty())
            QSKIP("no PostgreSQL here: run through scripts/with-postgres.sh");
        PGconn *connection = PQconnectdb(postgres().c_str());
        PQclear(PQexec(connection, "DROP SCHEMA public CASCADE; CREATE SCHEMA public;"));
        PQfinish(connection);
        m_database = postgres();
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

    void concurrentDebitsLoseNothing() {
        const auto store = open();
        const auto other = open();
        const User user = *store->createUser(newUser("d@x.org", 100000));
        onEightThreads([&](int t) {
            for (int i = 0; i < 25; ++i)
                (t % 2 ? *store : *other).debit(user.id, 3, "gpt-4.1", 0);
        });
        QCOMPARE(store->findUserByEmail("d@x.org")->tokenBalance, 100000 - 8 * 25 * 3);
        QCOMPARE(store->debit(user.id, 1'000'000, "o3", 0), 0); // never below zero
        QVERIFY_THROWS_EXCEPTION(StoreError, store->debit(user.id + 1000, 1, "o3", 0));
    }

    void reservationsNeverOverspend() {
        const auto store = open();
        const User user = *store->createUser(newUser("r@x.org", 100));
        std::atomic<std::int64_t> held = 0;
        onEightThreads([&](int) { held += store->reserve(user.id, 30); });
        QCOMPARE(held.load(), 100); // three answers got 30 each, one the last 10, the rest none
        QCOMPARE(store->findUserByEmail("r@x.org")->tokenBalance, 0);
        // Settling gives back what was held and not used.
        QCOMPARE(store->debit(user.id, 12, "gpt-4.1", 30), 18);
        QCOMPARE(store->reserve(user.id, 5), 5);
        QCOMPARE(store->debit(user.id, 40, "gpt-4.1", 5), 0); // used more than held: never below 0
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
