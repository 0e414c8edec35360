// Both stores, held to the same behaviour: accounts and sessions seen by every server sharing the
// data, and books that balance however changes race, answers overlap, the operator changes a
// balance, an account is deleted or an older database is opened. PostgreSQL runs when
// scripts/with-postgres.sh provides one.

#include "Ledger.h"
#include "OpenStore.h"
#include "PostgresStore.h"
#include "SqliteStore.h"
#include "TestPostgres.h"

#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <set>
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

constexpr std::int64_t farFuture = 4'000'000'000;

// Runs `sql` on the SQLite file at `path`, as an older server would have; true when it all ran.
bool runSql(const QString &path, const char *sql) {
    sqlite3 *db = nullptr;
    char *error = nullptr;
    const bool ran = sqlite3_open(path.toLocal8Bit().constData(), &db) == SQLITE_OK &&
                     sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK;
    if (error)
        qWarning("%s", error);
    sqlite3_free(error);
    sqlite3_close(db);
    return ran;
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
    void initTestCase_data() { addStoreBackends(); }

    void init() {
        QDir(m_dir.path()).removeRecursively();
        PINDLE_TEST_DATABASE(database, "sqlite:" + m_dir.filePath("data/pindle.db"));
        m_database = database.toStdString();
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
        QCOMPARE(other->addTokens("MIXED@case.org", 8), BalanceChange::Made);
        QCOMPARE(other->addTokens("nobody@case.org", 8), BalanceChange::NoAccount);
        QCOMPARE(other->addTokens("mixed@case.org", maxTokenBalance), BalanceChange::TooLarge);
        QCOMPARE(store->findUserByEmail("mixed@case.org")->tokenBalance, 50);
        QVERIFY(other->setPlan("MIXED@case.org", "pro", "2031-01-31"));
        QVERIFY(!other->setPlan("nobody@case.org", "pro", std::nullopt));
        const User paid = *store->findUserByEmail("mixed@case.org");
        QCOMPARE(paid.subscriptionStatus, std::string("pro"));
        QCOMPARE(paid.subscriptionEnd, std::optional<std::string>("2031-01-31"));
        QVERIFY(store->setPlan("mixed@case.org", "free", std::nullopt));
        QVERIFY(!store->findUserByEmail("mixed@case.org")->subscriptionEnd);
        QCOMPARE(store->findUserByEmail("mixed@case.org")->tokenBalance, 50); // nothing else moved

        QCOMPARE(other->findSessionUser(hashOf(1), 999)->id, created->id);
        QVERIFY(!other->findSessionUser(hashOf(1), 1000)); // ends at its expiry
        QVERIFY(!other->findSessionUser(hashOf(3), 0));
        QCOMPARE(other->deleteExpiredSessions(2000), 1);
        QVERIFY(store->findSessionUser(hashOf(2), 2000));
        other->deleteSession(hashOf(2));
        QVERIFY(!store->findSessionUser(hashOf(2), 2000));
    }

    static AccountBooks booksOf(Store &store, std::int64_t userId) {
        for (const AccountBooks &books : store.books()) {
            if (books.userId == userId)
                return books;
        }
        return {};
    }

    // Every token is somewhere: left in the balance, charged, or set aside for an answer.
    static void checkBooks(Store &store, std::int64_t userId, std::int64_t granted) {
        const AccountBooks books = booksOf(store, userId);
        QCOMPARE(books.userId, userId);
        QCOMPARE(books.balance + books.charged + books.reserved, granted);
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

        const auto settlement = [&](const HeldTokens &of, std::int64_t used) {
            return Settlement{"r" + std::to_string(of.id), user.id, of.id, used, "gpt-4.1", "me"};
        };
        QCOMPARE(store->settle(settlement(held[0], 12)), 12); // 18 back
        QCOMPARE(store->settle(settlement(held[0], 12)), 0);
        QCOMPARE(store->findUserByEmail("r@x.org")->tokenBalance, 18);
        // More used than held: charged what the balance and the reservation allow.
        QCOMPARE(store->settle(settlement(held[1], 99)), 48);
        checkBooks(*store, user.id, 100);

        // Renewed ones stay; expired ones are released, charging what was streamed, once.
        store->renewReservations({{held[2].id, 7}}, 5000);
        const Released first = store->releaseExpired(2000); // held[3], nothing streamed
        QCOMPARE((std::array{first.reservations, first.returned, first.charged}),
                 (std::array<std::int64_t, 3>{1, 10, 0}));
        const Released second = store->releaseExpired(6000);
        QCOMPARE((std::array{second.reservations, second.returned, second.charged}),
                 (std::array<std::int64_t, 3>{1, 23, 7}));
        QCOMPARE(store->releaseExpired(6000).reservations, 0); // nothing left to change
        // Its server came back too late: already settled by the release.
        QCOMPARE(store->settle(settlement(held[2], 30)), 0);
        QCOMPARE(store->findUserByEmail("r@x.org")->tokenBalance, 100 - 12 - 48 - 7);
        checkBooks(*store, user.id, 100);
    }

    void reservationIdsAreNeverReused_data() {
        QTest::addColumn<int>("atOnce");       // answers under way together
        QTest::addColumn<bool>("newestFirst"); // which of them ends first
        QTest::newRow("one after another") << 1 << true;
        QTest::newRow("three at once, newest ending first") << 3 << true;
        QTest::newRow("three at once, oldest ending first") << 3 << false;
    }

    // Every answer's charge lands however answers overlap: an id handed out again once its row
    // was gone made the next answer's settlement look applied, and its tokens stayed set aside.
    void reservationIdsAreNeverReused() {
        QFETCH(int, atOnce);
        QFETCH(bool, newestFirst);
        const auto store = open();
        const User user = *store->createUser(newUser("n@x.org", 100000));
        std::set<std::int64_t> ids;
        std::deque<HeldTokens> underWay;
        const auto end = [&](bool newest) {
            const HeldTokens held = newest ? underWay.back() : underWay.front();
            newest ? underWay.pop_back() : underWay.pop_front();
            QCOMPARE(store->settle(
                         {"r" + std::to_string(held.id), user.id, held.id, 13, "gpt-4.1", "me"}),
                     13);
        };
        for (int answer = 0; answer < 30; ++answer) {
            const HeldTokens held = store->reserve(user.id, 2200, "gpt-4.1", "me", farFuture);
            QVERIFY(ids.insert(held.id).second);
            underWay.push_back(held);
            if (int(underWay.size()) == atOnce)
                end(newestFirst);
            checkBooks(*store, user.id, 100000);
        }
        while (!underWay.empty())
            end(false);
        const AccountBooks books = booksOf(*store, user.id);
        QCOMPARE(books.reserved, 0);
        QCOMPARE(books.charged, 30 * 13);
        checkBooks(*store, user.id, 100000);
    }

    void balanceChangedWhileAnAnswerRuns_data() {
        QTest::addColumn<bool>("set");       // the balance, else added to
        QTest::addColumn<qint64>("tokens");  // set or added
        QTest::addColumn<qint64>("given");   // to the account, in all
        QTest::addColumn<qint64>("charged"); // for the answer, which used 42
        QTest::newRow("set") << true << 5000LL << 5000LL << 42LL;
        QTest::newRow("set below what the answer uses") << true << 10LL << 10LL << 10LL;
        QTest::newRow("added to") << false << 5000LL << 1'005'000LL << 42LL;
    }

    // What an answer under way holds is not given back on top of a balance the operator sets,
    // nor lost from one the operator adds to.
    void balanceChangedWhileAnAnswerRuns() {
        QFETCH(bool, set);
        QFETCH(qint64, tokens);
        QFETCH(qint64, given);
        QFETCH(qint64, charged);
        const auto store = open();
        const User user = *store->createUser(newUser("o@x.org", 1'000'000));
        const HeldTokens held = store->reserve(user.id, 505, "m", "me", farFuture);
        QVERIFY(set ? store->setTokenBalance("o@x.org", tokens)
                    : store->addTokens("o@x.org", tokens) == BalanceChange::Made);
        checkBooks(*store, user.id, given);
        QCOMPARE(store->settle({"r" + std::to_string(held.id), user.id, held.id, 42, "m", "me"}),
                 charged);
        const AccountBooks books = booksOf(*store, user.id);
        QCOMPARE(books.balance, given - charged);
        QCOMPARE(books.reserved, 0);
        checkBooks(*store, user.id, given);
    }

    // A database of the schema before ids were kept unique, holding reservations that a reused
    // id made impossible to settle: opening it gives them back, and no new id meets a key of
    // the old usage records.
    void upgradeReleasesReservationsThatCouldNotSettle() {
        QFETCH_GLOBAL(QString, backend);
        if (backend != "sqlite")
            QSKIP("the schema before was SQLite's alone");
        const QString path = m_dir.filePath("data/pindle.db");
        QVERIFY(QDir().mkpath(m_dir.filePath("data")));
        // The old schema, as much of it as the upgrade reads.
        QVERIFY(runSql(path, R"sql(
CREATE TABLE users (id INTEGER PRIMARY KEY, email, email_key UNIQUE, name, password_hash,
    subscription_status, subscription_end, token_balance, created_at);
CREATE TABLE sessions (token_hash BLOB PRIMARY KEY, user_id, created_at, expires_at);
CREATE TABLE usage_events (id INTEGER PRIMARY KEY, user_id, model, tokens, created_at,
    settlement UNIQUE);
CREATE TABLE reservations (id INTEGER PRIMARY KEY, user_id, owner, model, tokens, streamed,
    created_at, expires_at);
PRAGMA user_version = 2;
INSERT INTO users VALUES (1, 'a@x.org', 'a@x.org', 'A', 'h', 'free', NULL, 1000, 0),
                         (2, 'b@x.org', 'b@x.org', 'B', 'h', 'free', NULL, 0, 0);
-- Answers settled long ago; reservation 9's key is all that is left of it.
INSERT INTO usage_events (user_id, model, tokens, created_at, settlement) VALUES
    (1, 'm', 13, 0, 'r1'), (2, 'm', 20, 0, 'r2'), (1, 'm', 5, 0, 'r9'), (1, 'm', 7, 0, 'cold#1');
-- 1 and 2 took ids already settled, so their settlements were skipped; 3 is still under way.
INSERT INTO reservations VALUES (1, 1, 'old', 'm', 500, 0, 0, 9999999999),
                                (2, 2, 'old', 'm', 300, 0, 0, 9999999999),
                                (3, 1, 'old', 'm', 200, 50, 0, 9999999999);
)sql"));
        const auto store = open();
        const Released repaired = store->repairedOnOpen();
        QCOMPARE((std::array{repaired.reservations, repaired.returned, repaired.charged}),
                 (std::array<std::int64_t, 3>{2, 800, 0}));
        QCOMPARE(booksOf(*store, 1).balance, 1500);
        QCOMPARE(booksOf(*store, 2).balance, 300);
        checkBooks(*store, 1, 1000 + 25 + 700);
        checkBooks(*store, 2, 0 + 20 + 300);

        // Past every id the old records name, so each new answer's charge is recorded.
        for (int answer = 0; answer < 3; ++answer) {
            const HeldTokens held = store->reserve(1, 100, "m", "new", farFuture);
            QVERIFY(held.id > 9);
            QCOMPARE(store->settle({"r" + std::to_string(held.id), 1, held.id, 10, "m", "new"}),
                     10);
        }
        QCOMPARE(store->settle({"r3", 1, 3, 60, "m", "old"}), 60); // the open one settles as before
        const AccountBooks books = booksOf(*store, 1);
        QCOMPARE(books.reserved, 0);
        QCOMPARE(books.balance, 1500 + 200 - 30 - 60);
        QCOMPARE(open()->repairedOnOpen().reservations, 0); // once
    }

    void journalLinesCloseOnlyTheirReservation_data() {
        QTest::addColumn<QString>("line");    // for the reservation ID of account USER
        QTest::addColumn<bool>("keyCharged"); // an earlier answer with that id was charged
        QTest::newRow("another server's")
            << R"({"key":"rID","user":USER,"reservation":ID,"used":40,"model":"m","owner":"ended"})"
            << false;
        QTest::newRow("an older server's, for another account")
            << R"({"key":"rID","user":OTHER,"reservation":ID,"used":40,"model":"m"})" << false;
        QTest::newRow("an older server's, charged already")
            << R"({"key":"rID","user":USER,"reservation":ID,"used":40,"model":"m"})" << true;
    }

    // A journaled settlement read at start closes the reservation it was written for, never a
    // later one that has the same id.
    void journalLinesCloseOnlyTheirReservation() {
        QFETCH(QString, line);
        QFETCH(bool, keyCharged);
        const auto store = open();
        const User user = *store->createUser(newUser("o@x.org", 1000));
        const User other = *store->createUser(newUser("p@x.org", 1000));
        const HeldTokens ended = store->reserve(user.id, 100, "m", "ended", farFuture);
        const HeldTokens current = store->reserve(user.id, 100, "m", "current", farFuture);
        if (keyCharged)
            QCOMPARE(store->settle({"r" + std::to_string(current.id), user.id, 0, 5, "m"}), 5);
        const auto filled = [&](QString text, const HeldTokens &held) {
            return text.replace("ID", QString::number(held.id))
                .replace("USER", QString::number(user.id))
                .replace("OTHER", QString::number(other.id))
                .toUtf8();
        };
        QTemporaryDir journal;
        QFile file(journal.filePath("ledger-ended.journal"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        // After it, the ended server's own answer, closed as journaled.
        file.write(filled(line, current) + '\n' +
                   filled(R"({"key":"rID","user":USER,"reservation":ID,"used":40,"model":"m",)"
                          R"("owner":"ended"})",
                          ended) +
                   '\n');
        file.close();

        Ledger ledger(*store,
                      {"current", std::chrono::seconds(300), journal.path().toStdString(), false});
        QCOMPARE(ledger.waiting(), size_t(0));
        const AccountBooks books = booksOf(*store, user.id);
        QCOMPARE(books.reserved, 100);
        QCOMPARE(books.charged, (keyCharged ? 5 : 0) + 40);
        checkBooks(*store, user.id, 1000);
        checkBooks(*store, other.id, 1000);
    }

    // The limits a server gets from its store. On PostgreSQL those of two servers count as one,
    // exactly, however they race; on SQLite the one server keeps its own.
    void attemptsCountAsOne() {
        QFETCH_GLOBAL(QString, backend);
        const auto store = open();
        const auto other = open();
        const auto mine = store->attemptLimits();
        const auto theirs = other->attemptLimits();
        AttemptLimits &here = *mine;
        AttemptLimits &there = backend == "postgresql" ? *theirs : *mine;
        using Limits = AttemptLimits;
        constexpr std::int64_t start = 1'700'000'000;
        const std::string guessed = "owner@x.org 198.51.100.7";
        const auto &pair = Limits::failuresByAccountAndAddress;
        for (int guess = 0; guess < 5; ++guess)
            QVERIFY((guess % 2 ? there : here).record(pair, guessed, start + guess));
        QVERIFY(here.blocked(pair, guessed, start + 900));
        QVERIFY(!there.record(pair, guessed, start + 900));
        // The window ran from the first attempt: past it, counting starts again.
        QVERIFY(!there.blocked(pair, guessed, start + 901));
        QVERIFY(here.record(pair, guessed, start + 901));
        there.clear(pair, guessed);
        QVERIFY(!here.blocked(pair, guessed, start + 902));

        std::atomic<int> admitted = 0;
        onEightThreads([&](int t) {
            for (int i = 0; i < 5; ++i)
                admitted += (t % 2 ? here : there)
                                .record(Limits::signupsByAddress, "203.0.113.9", start + i);
        });
        QCOMPARE(admitted.load(), Limits::signupsByAddress.most);
        QVERIFY(here.blocked(Limits::signupsByAddress, "203.0.113.9", start + 3600));
        QVERIFY(!here.blocked(Limits::failuresByAddress, "203.0.113.9", start)); // its own count

        // The owner's addresses: remembered for 90 days, the sixteen most recent.
        constexpr std::int64_t days90 = 90 * 24 * 3600;
        for (int address = 0; address < 17; ++address)
            here.remember("owner@x.org", "192.0.2." + std::to_string(address), start + address);
        QVERIFY(!there.knows("owner@x.org", "192.0.2.0", start + 17));
        QVERIFY(there.knows("owner@x.org", "192.0.2.1", start + 1 + days90));
        QVERIFY(!there.knows("owner@x.org", "192.0.2.1", start + 2 + days90));
        QVERIFY(!there.knows("other@x.org", "192.0.2.1", start + 17));

        if (backend == "postgresql") { // stored hashed: neither address nor account readable
            PGconn *db = PQconnectdb(m_database.c_str());
            PGresult *plain = PQexec(
                db, "SELECT key FROM attempt_counts UNION ALL SELECT account FROM known_addresses "
                    "UNION ALL SELECT address FROM known_addresses");
            QVERIFY(PQntuples(plain) > 0);
            for (int row = 0; row < PQntuples(plain); ++row)
                QCOMPARE(PQgetlength(plain, row, 0), 2 * 32 + 2); // \x and a SHA-256 in hex
            PQclear(plain);
            PQfinish(db);
        }
        QVERIFY(there.prune(start + 17 + days90) > 0);
        QCOMPARE(here.prune(start + 17 + days90), 0);
        QVERIFY(!here.knows("owner@x.org", "192.0.2.16", start + 17 + days90));
    }

    // A deleted account leaves its usage records behind without it; what was still on its way to
    // it (a settlement, a journaled charge) changes nothing, and no later account is taken for
    // it. Refused while an answer holds tokens, so those are settled first.
    void deletionKeepsTheBooks() {
        const auto store = open();
        const auto other = open();
        const User keeper = *store->createUser(newUser("keep@x.org", 1000));
        const User leaver = *store->createUser(newUser("leave@x.org", 1000));
        store->createSession(hashOf(5), leaver.id, farFuture);
        QCOMPARE(store->settle({"c-early", leaver.id, 0, 30, "gpt-4.1"}), 30);
        QCOMPARE(store->settle({"c-keep", keeper.id, 0, 40, "gpt-4.1"}), 40);
        const HeldTokens held = store->reserve(leaver.id, 100, "gpt-4.1", "a", farFuture);

        QCOMPARE(other->deleteUser("leave@x.org").outcome, Deletion::Outcome::AnswersUnderWay);
        QVERIFY(store->findSessionUser(hashOf(5), 0));
        QCOMPARE(store->settle({"r1", leaver.id, held.id, 20, "gpt-4.1", "a"}), 20);
        const Deletion deletion = other->deleteUser("Leave@x.org");
        QCOMPARE(deletion.outcome, Deletion::Outcome::Deleted);
        QCOMPARE(deletion.sessions, 1);
        QCOMPARE(deletion.usageRecords, 2);
        QCOMPARE(other->deleteUser("leave@x.org").outcome, Deletion::Outcome::NoAccount);
        QVERIFY(!store->findSessionUser(hashOf(5), 0));

        const User newcomer = *store->createUser(newUser("new@x.org", 1000));
        QVERIFY(newcomer.id > leaver.id);
        QCOMPARE(store->settle({"c-late", leaver.id, 0, 5, "gpt-4.1"}), 0);
        store->settleAll({{"c-late2", leaver.id, 0, 5, "gpt-4.1"}});
        QCOMPARE(store->books().size(), size_t(2));
        checkBooks(*store, keeper.id, 1000);
        checkBooks(*store, newcomer.id, 1000);
        QCOMPARE(booksOf(*store, newcomer.id).charged, 0);
    }

    // What the account page reads and changes: usage summed by UTC day, newest first, and a new
    // password that ends every other session of the account.
    void accountPage() {
        QFETCH_GLOBAL(QString, backend);
        const auto store = open();
        const User user = *store->createUser(newUser("page@x.org", 1000));
        const User other = *store->createUser(newUser("other@x.org", 1000));
        const std::int64_t settledFrom = nowSeconds();
        QCOMPARE(store->settle({"today", user.id, 0, 3, "m"}), 3);
        const std::int64_t settledBy = nowSeconds(); // midnight may fall between the two
        constexpr std::int64_t feb28 = 1'709'078'400; // 2024-02-28 00:00 UTC
        const QString rows =
            QString("INSERT INTO usage_events (user_id, model, tokens, created_at) "
                    "VALUES (%1, 'm', 5, %3), (%1, 'm', 7, %4), (%1, 'm', 11, %5), "
                    "(%1, 'm', 100, %6), (%2, 'm', 1000, %3)")
                .arg(user.id)
                .arg(other.id)
                .arg(feb28 + 36000)      // 10:00
                .arg(feb28 + 86399)      // 23:59:59
                .arg(feb28 + 86400)      // the leap day, at midnight
                .arg(feb28 - 86400 - 1); // before the days asked for
        if (backend == "sqlite") {
            QVERIFY(runSql(m_dir.filePath("data/pindle.db"), rows.toUtf8().constData()));
        } else {
            PGconn *db = PQconnectdb(m_database.c_str());
            PGresult *inserted = PQexec(db, rows.toUtf8().constData());
            QCOMPARE(PQresultStatus(inserted), PGRES_COMMAND_OK);
            PQclear(inserted);
            PQfinish(db);
        }
        const auto days = open()->usageByDay(user.id, feb28 - 86400);
        QCOMPARE(days.size(), size_t(3));
        QVERIFY(days[0].day == utcDate(settledFrom / 86400) ||
                days[0].day == utcDate(settledBy / 86400));
        QCOMPARE(days[0].tokens, 3);
        QCOMPARE((std::pair{days[1].day, days[1].tokens}),
                 (std::pair{std::string("2024-02-29"), 11L}));
        QCOMPARE((std::pair{days[2].day, days[2].tokens}),
                 (std::pair{std::string("2024-02-28"), 12L}));
        QVERIFY(store->usageByDay(user.id, nowSeconds() + 1).empty());

        for (unsigned char session = 1; session <= 3; ++session)
            store->createSession(hashOf(session), user.id, farFuture);
        store->createSession(hashOf(4), other.id, farFuture);
        QVERIFY(open()->setPasswordHash(user.id, "$argon2id$new", hashOf(2)));
        QVERIFY(!store->setPasswordHash(other.id + 1000, "$argon2id$new", hashOf(4)));
        QVERIFY(!store->findSessionUser(hashOf(1), 0));
        QVERIFY(!store->findSessionUser(hashOf(3), 0));
        QCOMPARE(store->findSessionUser(hashOf(2), 0)->passwordHash, std::string("$argon2id$new"));
        QCOMPARE(store->findSessionUser(hashOf(4), 0)->passwordHash, other.passwordHash);
    }

    // One server per SQLite file; any number share a PostgreSQL database. A file that is no
    // database, or a server that is not there, is reported.
    void opening() {
        QFETCH_GLOBAL(QString, backend);
        const auto store = open();
        QCOMPARE(store->claimSoleServer(), backend == "sqlite");
        if (backend == "sqlite")
            QVERIFY_THROWS_EXCEPTION(StoreError, open()->claimSoleServer());
        else
            QVERIFY(!open()->claimSoleServer());

        QFile file(m_dir.filePath("data/broken.db"));
        QVERIFY(QDir().mkpath(m_dir.filePath("data")) && file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        QVERIFY_THROWS_EXCEPTION(StoreError, (void)openStore(file.fileName().toStdString()));
        QVERIFY_THROWS_EXCEPTION(StoreError, (void)openStore("host=/nonexistent dbname=none"));
    }
};

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store.moc"
