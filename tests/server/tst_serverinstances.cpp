// Two pindle-server instances on one PostgreSQL database, as behind a load balancer: sign-in
// limits count across both, the owner's known addresses hold on both, a session ended on one is
// over on both, and the operator's commands act on what both serve.

#include "OpenStore.h"
#include "ServerProcess.h"
#include "TestPostgres.h"

#include <QJsonArray>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

using namespace pindle;

namespace {

QByteArray credentials(const QString &email, const QString &password) {
    return QJsonDocument(QJsonObject{{"email", email}, {"password", password}}).toJson();
}

// As the load balancer in front of both says who is asking.
ServerProcess::Headers from(const QByteArray &address) {
    return {{"X-Forwarded-For", address}};
}

} // namespace

class ServerInstancesTest : public QObject {
    Q_OBJECT

private:
    QString m_database;
    std::unique_ptr<ServerProcess> m_a;
    std::unique_ptr<ServerProcess> m_b;

    ServerProcess &instance(int i) { return i % 2 ? *m_b : *m_a; }

    int signIn(ServerProcess &server, const QString &email, const QString &password,
               const QByteArray &address) {
        return server.call("POST", "/api/auth/login", credentials(email, password), from(address))
            .status;
    }

    QString tokenFor(ServerProcess &server, const QString &email, const QByteArray &address) {
        return server
            .call("POST", "/api/auth/login", credentials(email, "correct horse"), from(address))
            .json()["token"]
            .toString();
    }

    void createAccount(const QString &email) {
        const auto [status, output] =
            m_a->command({"user", "create", email, "Tester", "1000"}, "correct horse\n");
        QVERIFY2(status == 0, output.constData());
    }

private Q_SLOTS:
    void initTestCase() {
        m_database = freshTestPostgres();
        if (m_database.isEmpty())
            PINDLE_SKIP_OUTSIDE_CI("no PostgreSQL here: run through scripts/with-postgres.sh");
        const QJsonObject settings{{"database", m_database},
                                   {"trusted_proxies", QJsonArray{"127.0.0.1"}},
                                   {"max_connections_per_address", 1000}};
        m_a = std::make_unique<ServerProcess>(settings);
        m_b = std::make_unique<ServerProcess>(settings);
        QVERIFY2(m_a->running(), m_a->log().constData());
        QVERIFY2(m_b->running(), m_b->log().constData());
    }

    // Wrong passwords count once across both instances. Fifty from ten addresses, half on each,
    // hold the account back everywhere but where its owner signed in before, on whichever
    // instance.
    void signInLimitsCountAcrossInstances() {
        createAccount("owner@example.org");
        QCOMPARE(signIn(*m_a, "owner@example.org", "correct horse", "192.0.2.50"), 200);
        for (int guess = 0; guess < 5; ++guess)
            QCOMPARE(signIn(instance(guess), "owner@example.org", "wrong", "198.51.100.20"), 401);
        const ServerProcess::Answer limited =
            m_a->call("POST", "/api/auth/login", credentials("owner@example.org", "correct horse"),
                      from("198.51.100.20"));
        QCOMPARE(limited.status, 429);
        QCOMPARE(limited.json()["error"].toString(),
                 "Too many failed sign-ins. Try again in 15 minutes.");
        QCOMPARE(signIn(*m_b, "owner@example.org", "correct horse", "203.0.113.5"), 200);
        std::vector<std::unique_ptr<QNetworkReply>> guesses;
        for (int address = 1; address < 10; ++address)
            for (int guess = 0; guess < 5; ++guess)
                guesses.push_back(instance(guess).send(
                    "POST", "/api/auth/login", credentials("owner@example.org", "guess"),
                    from("198.51.100." + QByteArray::number(30 + address))));
        for (const auto &reply : guesses) {
            QSignalSpy finished(reply.get(), &QNetworkReply::finished);
            if (!reply->isFinished())
                QVERIFY(finished.wait(60000));
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
        }
        QCOMPARE(signIn(*m_b, "owner@example.org", "correct horse", "203.0.113.60"), 429);
        QCOMPARE(signIn(*m_b, "owner@example.org", "correct horse", "192.0.2.50"), 200);
    }

    // A session ended by its holder on one instance, or by the operator on the other, is over on
    // both.
    void sessionsEndEverywhere() {
        createAccount("signed@example.org");
        const QString leaving = tokenFor(*m_a, "signed@example.org", "192.0.2.70");
        QCOMPARE(m_b->call("POST", "/api/auth/logout", {}, ServerProcess::bearer(leaving)).status,
                 204);
        QCOMPARE(m_a->call("GET", "/api/auth/me", {}, ServerProcess::bearer(leaving)).status, 401);
        QCOMPARE(m_a->call("POST", "/api/auth/logout").status, 401);

        const QString onA = tokenFor(*m_a, "signed@example.org", "192.0.2.80");
        const QString onB = tokenFor(*m_b, "signed@example.org", "192.0.2.80");
        const auto [listed, sessions] = m_a->command({"user", "sessions", "signed@example.org"});
        QCOMPARE(listed, 0);
        QCOMPARE(sessions.count("started "), 2);
        QVERIFY(!sessions.contains(onA.toUtf8()) && !sessions.contains(onB.toUtf8()));
        QCOMPARE(m_b->command({"user", "sign-out", "Signed@example.org"}),
                 std::pair(0, QByteArray("Ended 2 sessions of Signed@example.org.\n")));
        QCOMPARE(m_a->call("GET", "/api/auth/me", {}, ServerProcess::bearer(onA)).status, 401);
        QCOMPARE(m_b->call("GET", "/api/auth/me", {}, ServerProcess::bearer(onB)).status, 401);
        QCOMPARE(m_a->command({"user", "sessions", "nobody@example.org"}).first, 1);
    }

    // Refused without confirmation and while an answer holds tokens; afterwards the account is
    // gone on both instances.
    void operatorDeletesAnAccount() {
        createAccount("deleted@example.org");
        const QString token = tokenFor(*m_a, "deleted@example.org", "192.0.2.90");
        const auto store = openStore(m_database.toStdString());
        const std::int64_t id = store->findUserByEmail("deleted@example.org")->id;
        const HeldTokens held = store->reserve(id, 100, "gpt-4.1", "elsewhere", 4'000'000'000);

        const QStringList remove{"user", "delete", "deleted@example.org"};
        const auto [unconfirmed, refusal] = m_b->command(remove);
        QCOMPARE(unconfirmed, 2);
        QVERIFY(refusal.contains("--yes"));
        const auto [busy, busyMessage] = m_b->command(remove + QStringList{"--yes"});
        QCOMPARE(busy, 1);
        QVERIFY2(busyMessage.contains("has answers under way; nothing was deleted. Try again"),
                 busyMessage.constData());
        QCOMPARE(
            store->settle({"r" + std::to_string(held.id), id, held.id, 20, "gpt-4.1", "elsewhere"}),
            20);
        QCOMPARE(m_b->command(remove + QStringList{"--yes"}),
                 std::pair(0, QByteArray("Deleted deleted@example.org. Sessions ended: 1; usage "
                                         "records kept without the account: 1.\n")));

        QCOMPARE(m_a->call("GET", "/api/auth/me", {}, ServerProcess::bearer(token)).status, 401);
        QCOMPARE(signIn(*m_b, "deleted@example.org", "correct horse", "192.0.2.90"), 401);
    }
};

QTEST_GUILESS_MAIN(ServerInstancesTest)
#include "tst_serverinstances.moc"
