// The embedded store: schema on open, e-mail uniqueness, session expiry and debits that lose no
// update when many land at once.

#include "SqliteStore.h"

#include <QTemporaryDir>
#include <QTest>

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

} // namespace

class SqliteStoreTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::string path() const { return m_dir.filePath("data/pindle.db").toStdString(); }

private Q_SLOTS:
    void cleanup() { QDir(m_dir.path()).removeRecursively(); }

    void accountsSurviveReopening() {
        {
            SqliteStore store(path());
            const std::optional<User> created = store.createUser(newUser("Mixed@Case.org", 7));
            QVERIFY(created);
            QCOMPARE(created->email, std::string("Mixed@Case.org"));
            QVERIFY(!store.createUser(newUser("mixed@CASE.org"))); // taken, whatever the case
        }
        SqliteStore reopened(path()); // the schema is already current: opening changes nothing
        const std::optional<User> found = reopened.findUserByEmail("MIXED@case.ORG");
        QVERIFY(found);
        QCOMPARE(found->tokenBalance, 7);
        QCOMPARE(reopened.listUsers().size(), size_t(1));
        QVERIFY(reopened.setTokenBalance("mixed@case.org", 42));
        QVERIFY(!reopened.setTokenBalance("nobody@case.org", 42));
        QCOMPARE(reopened.findUserByEmail("mixed@case.org")->tokenBalance, 42);
    }

    void sessionsExpire() {
        SqliteStore store(path());
        const User user = *store.createUser(newUser("s@x.org"));
        store.createSession(hashOf(1), user.id, 1000);
        store.createSession(hashOf(2), user.id, 5000);
        QCOMPARE(store.findSessionUser(hashOf(1), 999)->id, user.id);
        QVERIFY(!store.findSessionUser(hashOf(1), 1000)); // ends at its expiry
        QVERIFY(!store.findSessionUser(hashOf(3), 0));
        QCOMPARE(store.deleteExpiredSessions(2000), 1);
        QVERIFY(store.findSessionUser(hashOf(2), 2000));
        store.deleteSession(hashOf(2));
        QVERIFY(!store.findSessionUser(hashOf(2), 2000));
    }

    void concurrentDebitsLoseNothing() {
        SqliteStore store(path());
        const User user = *store.createUser(newUser("d@x.org", 100000));
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 50; ++i)
                    store.debit(user.id, 3, "gpt-4.1");
            });
        for (std::thread &thread : threads)
            thread.join();
        QCOMPARE(store.findUserByEmail("d@x.org")->tokenBalance, 100000 - 8 * 50 * 3);

        // Two processes' worth: a second connection to the same file sees every debit too.
        SqliteStore other(path());
        QCOMPARE(other.debit(user.id, 100, "o3"), 100000 - 8 * 50 * 3 - 100);
        QCOMPARE(store.debit(user.id, 1'000'000, "o3"), 0); // never below zero
    }

    void damagedFileIsReported() {
        QDir().mkpath(m_dir.filePath("data"));
        QFile file(QString::fromStdString(path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY_THROWS_EXCEPTION(StoreError, SqliteStore{path()});
    }
};

QTEST_GUILESS_MAIN(SqliteStoreTest)
#include "tst_sqlitestore.moc"
